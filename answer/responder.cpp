#include "responder.h"

namespace kav {

const char* outcomeName(Answer::Outcome outcome) {
    switch (outcome) {
    case Answer::Outcome::Answered:
        return "answered";
    case Answer::Outcome::Unmatched:
        return "unmatched";
    case Answer::Outcome::BadCheck:
        break;
    }
    return "bad check";
}

Responder::Responder(RuleBook book, std::optional<CheckKind> check, Faults faults)
    : book_(std::move(book)), check_(check), faults_(faults), random_(faults.seed) {}

Answer Responder::answer(const QByteArray& request) {
    ++tally_.requests;
    QByteArray matched = request;
    if (check_) {
        const CheckVerdict verdict = verifyCheck(*check_, request);
        if (!verdict.ok()) {
            ++tally_.badCheck;
            return book_.badCheck ? replyBy(*book_.badCheck, {}, Answer::Outcome::BadCheck)
                                  : Answer{Answer::Outcome::BadCheck, 0, {}};
        }
        if (!verdict.none)
            matched.remove(verdict.at, verdict.received.size());
    }
    for (const Rule& rule : book_.rules) {
        if (!rule.when.isEmpty() && rule.when != state_)
            continue;
        if (const auto captures = matchRequest(rule.request, matched)) {
            ++tally_.answered;
            return replyBy(rule, *captures, Answer::Outcome::Answered);
        }
    }
    ++tally_.unmatched;
    return book_.otherwise ? replyBy(*book_.otherwise, {}, Answer::Outcome::Unmatched)
                           : Answer{Answer::Outcome::Unmatched, 0, {}};
}

Answer Responder::replyBy(const Rule& rule, const QList<QByteArray>& captures,
                          Answer::Outcome outcome) {
    Answer answer{outcome, rule.line, {}};
    if (rule.set)
        state_ = *rule.set;
    if (rule.replies.isEmpty())
        return answer;
    qsizetype& turn = turns_[rule.line];
    const Reply& reply = rule.replies[turn];
    turn = (turn + 1) % rule.replies.size();
    for (const ReplyPart& part : reply.parts)
        answer.parts.append({filled(part.bytes, captures), part.afterNs});
    if (answer.parts.isEmpty())
        return answer;
    withCheckCode(answer);
    putFaults(answer);
    return answer;
}

// The code goes where the protocol puts it in the whole reply, and so into the part that holds
// that place (the last part when it is the end).
void Responder::withCheckCode(Answer& answer) const {
    if (!check_)
        return;
    QByteArray whole;
    for (const Answer::Part& part : answer.parts)
        whole += part.bytes;
    const CheckedFrame frame = withCheck(*check_, whole);
    if (!frame.error.isEmpty() || frame.at < 0)
        return; // a capture made it unfit, or it takes none: it goes as the rule wrote it
    const qsizetype codeLength = frame.bytes.size() - whole.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < answer.parts.size(); ++i) {
        Answer::Part& part = answer.parts[i];
        const qsizetype end = start + part.bytes.size();
        if (frame.at < end || i == answer.parts.size() - 1) {
            part.bytes.insert(frame.at - start, frame.bytes.mid(frame.at, codeLength));
            return;
        }
        start = end;
    }
}

// Every reply draws the same numbers whatever they decide, so that one fault's probability does
// not shift the draws of the others.
void Responder::putFaults(Answer& answer) {
    if (!faults_.any())
        return;
    std::uniform_real_distribution<double> unit(0, 1);
    const double drop = unit(random_);
    const double corrupt = unit(random_);
    const double where = unit(random_);
    const int mask = std::uniform_int_distribution<int>(1, 255)(random_);
    const double brk = unit(random_);
    const double jitter = unit(random_);
    if (drop < faults_.drop) {
        answer.dropped = true;
        ++tally_.dropped;
        return;
    }
    qsizetype total = 0;
    for (const Answer::Part& part : answer.parts)
        total += part.bytes.size();
    if (corrupt < faults_.corrupt && total > 0) {
        qsizetype at = std::min(total - 1, qsizetype(where * double(total)));
        answer.corruptedAt = at;
        for (Answer::Part& part : answer.parts) {
            if (at < part.bytes.size()) {
                part.bytes[at] = char(quint8(part.bytes[at]) ^ mask);
                break;
            }
            at -= part.bytes.size();
        }
        ++tally_.corrupted;
    }
    if (brk < faults_.brk) {
        answer.breakFirst = true;
        ++tally_.breaks;
    }
    answer.parts.first().afterNs += qint64(jitter * double(faults_.jitterNs));
}

} // namespace kav
