#include "mining/refusal.h"

#include <QLocale>
#include <algorithm>
#include <cctype>

using namespace Qt::StringLiterals;

std::optional<Refusal> refusalOf(const FetchResult &fetched, const QString &resultPath)
{
    Refusal refusal;
    switch (fetched.failure) {
    case FetchFailure::Refused:
    case FetchFailure::HostNotFound:
    case FetchFailure::Unreachable:
        refusal.reason = failureText(fetched.failure);
        return refusal;
    default:
        break;
    }
    const int status = fetched.status;
    if (status == 429 || status == 502 || status == 503 || status == 504) {
        refusal.kind = Refusal::Kind::Throttled;
        refusal.reason = u"HTTP "_s + QString::number(status);
    } else if (fetched.failure == FetchFailure::None && fetched.url.path() != resultPath) {
        // Another scheme or host alone is no refusal: the engine moves its result page so.
        refusal.kind = Refusal::Kind::Verification;
        refusal.reason = u"要求安全验证"_s;
    } else {
        return std::nullopt;
    }
    refusal.retryAfter = fetched.retryAfter;
    return refusal;
}

std::optional<qint64> retryAfterMs(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (!text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        })) {
        constexpr qint64 kLongest = 1000000000; // seconds; any longer is as good as this
        // The value, not its length: leading zeros add nothing.
        qsizetype zeros = 0;
        while (zeros + 1 < text.size() && text.at(zeros) == '0')
            ++zeros;
        const QByteArray digits = text.mid(zeros);
        return (digits.size() > 9 ? kLongest : digits.toLongLong()) * 1000;
    }
    // The form HTTP sends, then the two older forms it still allows; always GMT. The day of
    // the week goes first: it says nothing the date does not.
    const QString date = QString::fromLatin1(text).simplified().section(u' ', 1);
    for (const char *format :
         {"dd MMM yyyy hh:mm:ss 'GMT'", "dd-MMM-yy hh:mm:ss 'GMT'", "MMM d hh:mm:ss yyyy"}) {
        const QDateTime read = QLocale::c().toDateTime(date, QString::fromLatin1(format));
        if (!read.isValid())
            continue;
        QDateTime when(read.date(), read.time(), Qt::UTC);
        if (when.date().year() < 1970) // a two-digit year of this century
            when = when.addYears(100);
        return std::max<qint64>(0, now.msecsTo(when));
    }
    return std::nullopt;
}

QString failureText(FetchFailure failure)
{
    switch (failure) {
    case FetchFailure::Refused:
        return u"连接被拒绝"_s;
    case FetchFailure::HostNotFound:
        return u"找不到服务器"_s;
    case FetchFailure::Unreachable:
        return u"网络不可达"_s;
    case FetchFailure::Timeout:
        return u"连接超时"_s;
    case FetchFailure::Reset:
        return u"连接被中断"_s;
    case FetchFailure::Oversized:
        return u"页面过大"_s;
    case FetchFailure::Tls:
        return u"安全连接失败"_s;
    case FetchFailure::None:
    case FetchFailure::Other:
        break;
    }
    return u"网络错误"_s;
}
