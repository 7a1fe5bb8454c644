#pragma once

#include "keypad.h"
#include "mscomm.h"
#include "reception.h"
#include "sendbuffer.h"
#include "slots.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace kav {

class SingleInstance;
class TextBox;

// The one window. Handlers keep the names of the controls and events they serve; each runs to
// its end on the event loop and refreshes the views it changed.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up, before the window is shown. Returns false when another copy already runs: the
    // caller then ends the process at once, silently.
    bool Form_Load();

    // Shutdown: from the exit button and from every close request.
    void Command136_Click();
    void Form_QueryUnload();

    // Send-data editor
    void keypadClick(const KeypadKey& key);
    void Text3_KeyPress(QChar ch);
    void Text3_KeyDown(int keyCode); // Windows virtual-key codes: 8 is Backspace
    void Command131_Click();
    void AppendToken();
    void RemoveLastToken();

    // Serial link
    void Command133_Click();
    void Command134_Click();
    void ShowPortState();
    void Command130_Click();
    void MSComm1_OnComm();
    void Command29_Click();
    void Timer1_Timer();

    // Memory slots, one handler pair for the eight buttons
    void slotWrite(int n);
    void slotRead(int n);
    void SaveSlot(int n);
    void LoadSlot(int n);

    // State, for the views and for tests that check what the window holds.
    SendBuffer& sendBuffer() { return send_; }
    const Reception& reception() const { return recv_; }
    const SlotStore& slotStore() const { return slots_; }
    MSComm& comm() { return MSComm1; }
    QTimer& timer() { return Timer1; }
    qint16 TickCount() const { return TickCount_; }
    bool isShuttingDown() const { return shuttingDown_; }

    static constexpr QRgb OpenColour = 255;        // red, in the form's red-in-the-low-byte order
    static constexpr QRgb ClosedColour = 12632256; // light grey

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void connectAll();
    void connectEditor();
    void connectSerial();
    void connectReception();
    void MSComm1_DeviceLost();
    void connectMemory();
    void refreshSendViews();
    void fillPortLists();
    void shutdown();
    QWidget* control(const char* name) const;

    TextBox* Text1 = nullptr;
    TextBox* Text2 = nullptr;
    TextBox* Text3 = nullptr;
    TextBox* Text4 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label12 = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo4 = nullptr;
    QComboBox* Combo5 = nullptr;
    QPushButton* Command133 = nullptr;
    QPushButton* Command134 = nullptr;
    QCheckBox* Check1 = nullptr;

    QTimer Timer1;
    MSComm MSComm1;
    SendBuffer send_;
    Reception recv_;
    SlotStore slots_;
    qint16 TickCount_ = 0;
    bool shuttingDown_ = false;
    SingleInstance* instance_ = nullptr;
};

// Paints a button face in a form colour (24-bit, red in the low byte).
void setFaceColour(QPushButton* button, QRgb formColour);
QColor formColour(QRgb value);

} // namespace kav
