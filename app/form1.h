#pragma once

#include "formcontrols.h"
#include "keypad.h"
#include "mscomm.h"
#include "reception.h"
#include "sendbuffer.h"
#include "slots.h"

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace kav {

class SingleInstance;
class TextBox;

// A colour as the form stores it: a 24-bit value with red in the low byte (255 is red), the
// reverse of the order a QRgb has, so it converts here and nowhere else.
class FormColour {
public:
    explicit constexpr FormColour(quint32 value) : value_(value) {}
    QColor toQColor() const {
        return QColor(int(value_ & 0xFF), int((value_ >> 8) & 0xFF), int((value_ >> 16) & 0xFF));
    }

private:
    quint32 value_;
};

// The one window. Handlers keep the names of the controls and events they serve; each runs to
// its end on the event loop and refreshes the views it changed.
class Form1 : public QWidget, private FormControls {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up, before the window is shown. Returns false when another copy already runs: the
    // caller then ends the process at once, silently.
    bool Form_Load();

    // What the window holds, for the views and for tests; changed only by the handlers.
    const SendBuffer& sendBuffer() const { return send_; }
    const Reception& reception() const { return recv_; }
    const SlotStore& slotStore() const { return slots_; }
    const MSComm& comm() const { return MSComm1; }
    const QTimer& timer() const { return Timer1; }
    qint16 TickCount() const { return TickCount_; }
    bool isShuttingDown() const { return shuttingDown_; }

    static constexpr FormColour OpenColour{255};        // red
    static constexpr FormColour ClosedColour{12632256}; // light grey

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shutdown: from the exit button and from every close request.
    void Command136_Click();
    void Form_QueryUnload();

    // Send-data editor
    void keypadClick(const KeypadKey& key);
    void Text3_KeyPress(QChar ch);
    void Text3_KeyDown(int keyCode); // 8 is Backspace; other keys keep their toolkit codes
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

    void buildLayout();
    QPushButton* addKeypadButton(const KeypadKey& key);
    void connectAll();
    void connectEditor();
    void connectSerial();
    void connectReception();
    void MSComm1_DeviceLost();
    void connectMemory();
    void refreshSendViews();
    void clearSendViews();
    void clearReceiveViews();
    void showZeroCount();
    void fillPortLists();
    void describePortList();
    void shutdown();

    std::vector<QPushButton*> keypad_; // in the order of keypadKeys()

    QTimer Timer1{this}; // a child, so that tests can reach it by its name as a control
    MSComm MSComm1;
    SendBuffer send_;
    Reception recv_;
    SlotStore slots_;
    qint16 TickCount_ = 0;
    bool shuttingDown_ = false;
    SingleInstance* instance_ = nullptr;
};

// Paints a button face in a form colour.
void setFaceColour(QPushButton* button, FormColour colour);

} // namespace kav
