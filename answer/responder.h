#pragma once

#include "rules.h"

#include <QMap>
#include <random>

namespace kav {

// The faults a run puts in on purpose, each with its probability for every reply.
struct Faults {
    double drop = 0;     // the reply is not sent
    double corrupt = 0;  // one of its bytes is changed
    double brk = 0;      // a break goes out before it
    qint64 jitterNs = 0; // up to this much is added to each delay
    quint64 seed = 0;

    bool any() const { return drop > 0 || corrupt > 0 || brk > 0 || jitterNs > 0; }
};

// What the stand-in does about one request.
struct Answer {
    enum class Outcome { Answered, Unmatched, BadCheck };
    Outcome outcome = Outcome::Unmatched;
    int rule = 0; // the line of the rule that answered, 0 for none
    struct Part {
        QByteArray bytes;
        qint64 afterNs = 0;
    };
    QList<Part> parts; // empty: silence
    bool dropped = false;
    qsizetype corruptedAt = -1; // the byte of the whole reply that was changed
    bool breakFirst = false;
};

const char* outcomeName(Answer::Outcome outcome);

// The requests and how each was answered, as the summary gives them.
struct AnswerTally {
    int requests = 0;
    int answered = 0;
    int unmatched = 0;
    int badCheck = 0;
    int dropped = 0;
    int corrupted = 0;
    int breaks = 0;
};

// Decides the answer to each request from the rules, the state and each rule's turn, with the
// check code taken off the request and put on the reply, and the faults drawn from one seeded
// generator: the same seed and requests give the same answers.
class Responder {
public:
    Responder(RuleBook book, std::optional<CheckKind> check, Faults faults);

    Answer answer(const QByteArray& request);
    const AnswerTally& tally() const { return tally_; }
    QString state() const { return state_; }

private:
    Answer replyBy(const Rule& rule, const QList<QByteArray>& captures, Answer::Outcome outcome);
    void withCheckCode(Answer& answer) const;
    void putFaults(Answer& answer);

    RuleBook book_;
    std::optional<CheckKind> check_;
    Faults faults_;
    std::mt19937_64 random_;
    QString state_;
    QMap<int, qsizetype> turns_; // by the rule's line: the reply it gives next
    AnswerTally tally_;
};

} // namespace kav
