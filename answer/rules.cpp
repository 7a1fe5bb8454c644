#include "rules.h"

#include "messagetext.h"
#include "mnemonics.h"

#include <QRegularExpression>
#include <cmath>

namespace kav {

namespace {

constexpr double LongestSeconds = 86400;

struct Token {
    QString text;
    int column; // counted from 1
};

// The line's words, without its comment.
QList<Token> tokensOf(const QString& line) {
    QList<Token> tokens;
    qsizetype at = 0;
    while (at < line.size()) {
        if (line[at].isSpace()) {
            ++at;
            continue;
        }
        if (line[at] == u'#')
            break;
        qsizetype end = at;
        while (end < line.size() && !line[end].isSpace())
            ++end;
        tokens.append({line.mid(at, end - at), int(at + 1)});
        at = end;
    }
    return tokens;
}

bool isClauseWord(const QString& word) {
    static const QStringList words = {QStringLiteral("when"), QStringLiteral("reply"),
                                      QStringLiteral("then"), QStringLiteral("after"),
                                      QStringLiteral("set")};
    return words.contains(word);
}

const QRegularExpression& stateName() {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    return name;
}

// The notation's reason for refusing a character, without its place, which the rule's column
// gives instead.
QString whyRefused(const QString& error) {
    QString why = error.section(u' ', 2);
    why.replace(QStringLiteral("--expect-hex"), QStringLiteral("hex"));
    return why.startsWith(u'"') ? why : QStringLiteral("the character ") + why;
}

class Reader {
public:
    Reader(RuleBook& book, std::optional<CheckKind> check) : book_(book), check_(check) {}

    bool line(int number, const QString& text) {
        tokens_ = tokensOf(text);
        next_ = 0;
        if (tokens_.isEmpty())
            return true;
        Rule rule;
        rule.line = number;
        line_ = number;
        endColumn_ = int(text.size()) + 1;
        const Token first = tokens_[next_++];
        if (first.text == u"on") {
            if (atEnd())
                return refuse(endColumn_, QStringLiteral("\"on\" needs the request to match"));
            if (!message(rule.request, false, &rule.wildcards))
                return false;
        } else if (first.text == u"otherwise") {
            rule.kind = Rule::Kind::Otherwise;
        } else if (first.text == u"bad-check") {
            rule.kind = Rule::Kind::BadCheck;
        } else {
            return refuse(first.column, QStringLiteral("\"%1\" begins no rule: on, otherwise or "
                                                       "bad-check")
                                            .arg(first.text));
        }
        if (!clauses(rule))
            return false;
        return keep(std::move(rule), first.column);
    }

private:
    bool atEnd() const { return next_ >= tokens_.size(); }
    int column() const { return atEnd() ? endColumn_ : tokens_[next_].column; }

    bool refuse(int column, const QString& why) {
        book_.errorLine = line_;
        book_.errorColumn = column;
        book_.error = QStringLiteral("line %1, column %2: %3").arg(line_).arg(column).arg(why);
        return false;
    }

    bool keep(Rule&& rule, int column) {
        std::optional<Rule>* single = rule.kind == Rule::Kind::Otherwise  ? &book_.otherwise
                                      : rule.kind == Rule::Kind::BadCheck ? &book_.badCheck
                                                                          : nullptr;
        if (!single) {
            book_.rules.append(std::move(rule));
            return true;
        }
        if (*single)
            return refuse(column, QStringLiteral("a second %1 rule; the first is on line %2")
                                      .arg(tokens_[0].text)
                                      .arg((*single)->line));
        if (!rule.when.isEmpty())
            return refuse(column, QStringLiteral("%1 answers in every state; \"when\" is for "
                                                 "\"on\" rules")
                                      .arg(tokens_[0].text));
        *single = std::move(rule);
        return true;
    }

    bool clauses(Rule& rule) {
        while (!atEnd()) {
            const Token word = tokens_[next_++];
            if (word.text == u"when" || word.text == u"set") {
                if (atEnd() || !stateName().match(tokens_[next_].text).hasMatch())
                    return refuse(column(), QStringLiteral("\"%1\" needs a state's name: "
                                                           "letters, digits, '_', '.' or '-'")
                                                .arg(word.text));
                const QString name = tokens_[next_++].text;
                if (word.text == u"set")
                    rule.set = name;
                else
                    rule.when = name;
            } else if (word.text == u"reply" || word.text == u"then") {
                if (word.text == u"then" && rule.replies.isEmpty())
                    return refuse(word.column, QStringLiteral("\"then\" continues a reply; "
                                                              "begin it with \"reply\""));
                if (word.text == u"then" && rule.replies.last().parts.isEmpty())
                    return refuse(
                        word.column,
                        QStringLiteral("\"reply none\" is a silence; nothing follows it"));
                if (!replyPart(rule, word.text == u"reply"))
                    return false;
            } else {
                return refuse(
                    word.column,
                    QStringLiteral("\"%1\" is none of when, reply, then, set").arg(word.text));
            }
        }
        return true;
    }

    bool replyPart(Rule& rule, bool newReply) {
        if (atEnd())
            return refuse(endColumn_, QStringLiteral("the reply is missing"));
        if (newReply)
            rule.replies.append(Reply());
        if (newReply && tokens_[next_].text == u"none") {
            ++next_;
            return true;
        }
        const int messageColumn = column();
        ReplyPart part;
        if (!message(part.bytes, true, nullptr, rule.wildcards))
            return false;
        if (!atEnd() && tokens_[next_].text == u"after") {
            ++next_;
            bool ok = false;
            const double seconds = atEnd() ? -1 : tokens_[next_].text.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > LongestSeconds)
                return refuse(
                    column(),
                    QStringLiteral("\"after\" needs seconds, from 0 to %1").arg(LongestSeconds));
            ++next_;
            part.afterNs = std::llround(seconds * 1e9);
        }
        rule.replies.last().parts.append(part);
        return checkable(rule.replies.last(), messageColumn);
    }

    // A reply with no capture is the same every time, so one that can take no check code is
    // refused now rather than found out on the line.
    bool checkable(const Reply& reply, int messageColumn) {
        if (!check_)
            return true;
        QByteArray bytes;
        for (const ReplyPart& part : reply.parts)
            for (const Piece& piece : part.bytes) {
                if (piece.kind == Piece::Kind::Capture)
                    return true;
                bytes += piece.bytes;
            }
        const CheckedFrame frame = withCheck(*check_, bytes);
        if (frame.error.isEmpty())
            return true;
        return refuse(messageColumn, QStringLiteral("--check: ") + frame.error);
    }

    // A message at the next word: "hex" and its digit words up to the next clause's word, or
    // one word in the notation.
    bool message(Pattern& pattern, bool reply, int* wildcards, int captures = 0) {
        const Token word = tokens_[next_++];
        if (word.text == u"hex") {
            bool any = false;
            while (!atEnd() && !isClauseWord(tokens_[next_].text)) {
                const Token digits = tokens_[next_++];
                if (!pieces(digits, true, reply, pattern, wildcards, captures))
                    return false;
                any = true;
            }
            if (!any)
                return refuse(column(), QStringLiteral("\"hex\" needs the bytes, two digits each"));
            return true;
        }
        return pieces(word, false, reply, pattern, wildcards, captures);
    }

    bool pieces(const Token& word, bool hex, bool reply, Pattern& pattern, int* wildcards,
                int captures) {
        static const QRegularExpression special(QStringLiteral("\\[(\\?|\\*|\\$[0-9]+)\\]"));
        qsizetype at = 0;
        auto literal = [&](qsizetype end) {
            if (end <= at)
                return true;
            const WrittenText written =
                hex ? parseHex(word.text.mid(at, end - at), Reach::Received)
                    : parseWritten(word.text.mid(at, end - at), Reach::Received);
            if (!written.ok())
                return refuse(word.column + int(at + written.errorAt) - 1,
                              whyRefused(written.error));
            if (!pattern.isEmpty() && pattern.last().kind == Piece::Kind::Bytes)
                pattern.last().bytes += bytesOf(written.codes);
            else
                pattern.append({Piece::Kind::Bytes, bytesOf(written.codes), 0});
            return true;
        };
        for (QRegularExpressionMatchIterator it = special.globalMatch(word.text); it.hasNext();) {
            const QRegularExpressionMatch found = it.next();
            if (!literal(found.capturedStart()))
                return false;
            const int column = word.column + int(found.capturedStart());
            const QString inner = found.captured(1);
            if (inner.startsWith(u'$')) {
                if (!reply)
                    return refuse(column, QStringLiteral("%1 puts a matched part into a reply; "
                                                         "a request matches with [?] and [*]")
                                              .arg(found.captured()));
                const int number = inner.mid(1).toInt();
                if (number < 1 || number > captures)
                    return refuse(column,
                                  captures == 0
                                      ? QStringLiteral("%1: the request has no wildcard")
                                            .arg(found.captured())
                                      : QStringLiteral("%1: the request has wildcards [$1] to "
                                                       "[$%2]")
                                            .arg(found.captured())
                                            .arg(captures));
                pattern.append({Piece::Kind::Capture, QByteArray(), number});
            } else {
                if (reply)
                    return refuse(column, QStringLiteral("%1 matches a request; a reply puts "
                                                         "in what it matched with [$1], [$2]...")
                                              .arg(found.captured()));
                pattern.append({inner == u"?" ? Piece::Kind::One : Piece::Kind::Any, {}, 0});
                ++*wildcards;
            }
            at = found.capturedEnd();
        }
        return literal(word.text.size());
    }

    RuleBook& book_;
    std::optional<CheckKind> check_;
    QList<Token> tokens_;
    qsizetype next_ = 0;
    int line_ = 0;
    int endColumn_ = 1;
};

} // namespace

RuleBook parseRules(const QString& text, std::optional<CheckKind> check) {
    RuleBook book;
    Reader reader(book, check);
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!reader.line(int(i + 1), line)) {
            book.rules.clear();
            book.otherwise.reset();
            book.badCheck.reset();
            return book;
        }
    }
    return book;
}

namespace {

// Matching with backtracking, remembering the places already known to fail, so that no request
// takes longer than pieces times bytes squared.
class Matcher {
public:
    Matcher(const Pattern& pattern, QByteArrayView request)
        : pattern_(pattern), request_(request),
          failed_(size_t((pattern.size() + 1) * (request.size() + 1)), false) {}

    bool from(qsizetype piece, qsizetype at) {
        if (piece == pattern_.size())
            return at == request_.size();
        const size_t key = size_t(piece * (request_.size() + 1) + at);
        if (failed_[key])
            return false;
        const Piece& p = pattern_[piece];
        switch (p.kind) {
        case Piece::Kind::Bytes:
            if (request_.sliced(at).startsWith(p.bytes) && from(piece + 1, at + p.bytes.size()))
                return true;
            break;
        case Piece::Kind::One:
            captures_.append(
                request_.sliced(at, std::min<qsizetype>(1, request_.size() - at)).toByteArray());
            if (at < request_.size() && from(piece + 1, at + 1))
                return true;
            captures_.removeLast();
            break;
        case Piece::Kind::Any:
            for (qsizetype end = at; end <= request_.size(); ++end) {
                captures_.append(request_.sliced(at, end - at).toByteArray());
                if (from(piece + 1, end))
                    return true;
                captures_.removeLast();
            }
            break;
        case Piece::Kind::Capture:
            break;
        }
        failed_[key] = true;
        return false;
    }

    QList<QByteArray> captures_;

private:
    const Pattern& pattern_;
    QByteArrayView request_;
    std::vector<bool> failed_;
};

} // namespace

std::optional<QList<QByteArray>> matchRequest(const Pattern& pattern, QByteArrayView request) {
    Matcher matcher(pattern, request);
    if (!matcher.from(0, 0))
        return std::nullopt;
    return matcher.captures_;
}

QByteArray filled(const Pattern& pattern, const QList<QByteArray>& captures) {
    QByteArray bytes;
    for (const Piece& piece : pattern) {
        if (piece.kind == Piece::Kind::Bytes)
            bytes += piece.bytes;
        else if (piece.kind == Piece::Kind::Capture && piece.capture <= captures.size())
            bytes += captures[piece.capture - 1];
    }
    return bytes;
}

QString writtenBytes(const QByteArray& bytes) {
    QString text;
    bool written = !bytes.isEmpty();
    for (char byte : bytes) {
        const Code code = Code(quint8(byte));
        if (const QString mnemonic = mnemonicOf(code); !mnemonic.isEmpty())
            text += mnemonic;
        else if (code > 0x20 && code < 0x7F && code != '[' && code != '\\')
            text += QChar(code);
        else
            written = false;
    }
    // A word the reader would take for a comment or a keyword goes in hexadecimal too.
    if (written && !text.startsWith(u'#') && text != u"hex" && text != u"none")
        return text;
    QString hex = QStringLiteral("hex");
    for (char byte : bytes)
        hex += u' ' + QString::fromLatin1(QByteArray(1, byte).toHex().toUpper());
    return hex;
}

} // namespace kav
