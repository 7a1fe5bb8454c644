#pragma once

#include "checkcode.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kav {

// One part of a request to match or of a reply to send: bytes as written, a wildcard ([?] one
// byte, [*] any run of bytes) or, in a reply, what a wildcard of the request matched ([$1]).
struct Piece {
    enum class Kind { Bytes, One, Any, Capture };
    Kind kind = Kind::Bytes;
    QByteArray bytes; // Bytes
    int capture = 0;  // Capture: the wildcard's number, from 1
};
using Pattern = QList<Piece>;

// A reply part and the silence before it: for the first part, from the request's last byte; for
// each later one, from the last byte of the part before.
struct ReplyPart {
    Pattern bytes;
    qint64 afterNs = 0;
};

// One reply, in parts; no part at all is a silence ("reply none").
struct Reply {
    QList<ReplyPart> parts;
};

struct Rule {
    enum class Kind { On, Otherwise, BadCheck };
    Kind kind = Kind::On;
    int line = 0;               // in the rules file, counted from 1
    Pattern request;            // On only
    int wildcards = 0;          // in the request
    QString when;               // the state the rule needs; any state when empty
    QList<Reply> replies;       // taken in turn, the first again after the last
    std::optional<QString> set; // the state the rule leaves behind
};

// A rules file, or where and why it was refused.
struct RuleBook {
    QList<Rule> rules; // in the file's order, the first that fits answers
    std::optional<Rule> otherwise;
    std::optional<Rule> badCheck;
    int errorLine = 0;
    int errorColumn = 0;
    QString error; // "line 3, column 8: ..."

    bool ok() const { return error.isEmpty(); }
};

// A rules file, one rule a line; "#" at the start of a line or after a blank begins a comment:
//   on REQUEST [when STATE] reply MESSAGE [after S] [then MESSAGE [after S]]... [reply ...]...
//      [set STATE]
//   otherwise reply ...       the answer to a request no rule matches (silence without it)
//   bad-check reply ...       the answer to a request whose check code is wrong (silence)
// A MESSAGE is one blank-free word in the send box's notation, or "hex" and the bytes in pairs of
// digits, or, for a reply, "none". With `check`, each reply that holds no capture is refused when
// it can take no check code.
RuleBook parseRules(const QString& text, std::optional<CheckKind> check = std::nullopt);

// The bytes each wildcard matched, in order, when `request` is the whole of what the pattern
// describes. A [*] takes as few bytes as it can.
std::optional<QList<QByteArray>> matchRequest(const Pattern& pattern, QByteArrayView request);

// A reply part's bytes, with the captures put in.
QByteArray filled(const Pattern& pattern, const QList<QByteArray>& captures);

// Bytes as a rule writes them: in the notation where every byte has a printable form, otherwise
// as "hex ..".
QString writtenBytes(const QByteArray& bytes);

} // namespace kav
