#include "text/codepage.h"

#ifdef Q_OS_WIN
#include <algorithm>
#include <iterator>
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>
#endif

#ifdef Q_OS_WIN

namespace {

constexpr UINT kGbk = 936;
constexpr UINT kGb18030 = 54936;

// GB18030's forms of what code page 936 lacks, as Windows' code page 54936 gives them, for a
// system without it (Wine has none): the characters it gives two bytes, then where each run of
// four-byte forms starts.
struct TwoByteForm {
    char32_t code;
    quint16 bytes;
};
constexpr TwoByteForm kTwoByteForms[] = {
    {0x01F9, 0xA8BF}, {0x2E81, 0xFE50}, {0x2E84, 0xFE54}, {0x2E88, 0xFE57}, {0x2E8B, 0xFE58},
    {0x2E8C, 0xFE5D}, {0x2E97, 0xFE5E}, {0x2EA7, 0xFE6B}, {0x2EAA, 0xFE6E}, {0x2EAE, 0xFE71},
    {0x2EB3, 0xFE73}, {0x2EB6, 0xFE74}, {0x2EB7, 0xFE75}, {0x2EBB, 0xFE79}, {0x2ECA, 0xFE84},
    {0x2FF0, 0xA98A}, {0x2FF1, 0xA98B}, {0x2FF2, 0xA98C}, {0x2FF3, 0xA98D}, {0x2FF4, 0xA98E},
    {0x2FF5, 0xA98F}, {0x2FF6, 0xA990}, {0x2FF7, 0xA991}, {0x2FF8, 0xA992}, {0x2FF9, 0xA993},
    {0x2FFA, 0xA994}, {0x2FFB, 0xA995}, {0x303E, 0xA989}, {0x3447, 0xFE56}, {0x3473, 0xFE55},
    {0x359E, 0xFE5A}, {0x360E, 0xFE5C}, {0x361A, 0xFE5B}, {0x3918, 0xFE60}, {0x396E, 0xFE5F},
    {0x39CF, 0xFE62}, {0x39D0, 0xFE65}, {0x39DF, 0xFE63}, {0x3A73, 0xFE64}, {0x3B4E, 0xFE68},
    {0x3C6E, 0xFE69}, {0x3CE0, 0xFE6A}, {0x4056, 0xFE6F}, {0x415F, 0xFE70}, {0x4337, 0xFE72},
    {0x43AC, 0xFE78}, {0x43B1, 0xFE77}, {0x43DD, 0xFE7A}, {0x44D6, 0xFE7B}, {0x464C, 0xFE7D},
    {0x4661, 0xFE7C}, {0x4723, 0xFE80}, {0x4729, 0xFE81}, {0x477C, 0xFE82}, {0x478D, 0xFE83},
    {0x4947, 0xFE85}, {0x497A, 0xFE86}, {0x497D, 0xFE87}, {0x4982, 0xFE88}, {0x4983, 0xFE89},
    {0x4985, 0xFE8A}, {0x4986, 0xFE8B}, {0x499B, 0xFE8D}, {0x499F, 0xFE8C}, {0x49B6, 0xFE8F},
    {0x49B7, 0xFE8E}, {0x4C77, 0xFE96}, {0x4C9F, 0xFE93}, {0x4CA0, 0xFE94}, {0x4CA1, 0xFE95},
    {0x4CA2, 0xFE97}, {0x4CA3, 0xFE92}, {0x4D13, 0xFE98}, {0x4D14, 0xFE99}, {0x4D15, 0xFE9A},
    {0x4D16, 0xFE9B}, {0x4D17, 0xFE9C}, {0x4D18, 0xFE9D}, {0x4D19, 0xFE9E}, {0x4DAE, 0xFE9F},
};
struct FourByteRun {
    char32_t code;
    quint32 linear; // the run's first form, counted from 81 30 81 30
};
constexpr FourByteRun kFourByteRuns[] = {
    {0x0080, 0},     {0x00A5, 36},    {0x00A9, 38},    {0x00B2, 45},    {0x00B8, 50},
    {0x00D8, 81},    {0x00E2, 89},    {0x00EB, 95},    {0x00EE, 96},    {0x00F4, 100},
    {0x00F8, 103},   {0x00FB, 104},   {0x00FD, 105},   {0x0102, 109},   {0x0114, 126},
    {0x011C, 133},   {0x012C, 148},   {0x0145, 172},   {0x0149, 175},   {0x014E, 179},
    {0x016C, 208},   {0x01CF, 306},   {0x01D1, 307},   {0x01D3, 308},   {0x01D5, 309},
    {0x01D7, 310},   {0x01D9, 311},   {0x01DB, 312},   {0x01DD, 313},   {0x01FA, 341},
    {0x0252, 428},   {0x0262, 443},   {0x02C8, 544},   {0x02CC, 545},   {0x02DA, 558},
    {0x03A2, 741},   {0x03AA, 742},   {0x03C2, 749},   {0x03CA, 750},   {0x0402, 805},
    {0x0450, 819},   {0x0452, 820},   {0x1E40, 7458},  {0x2011, 7922},  {0x2017, 7924},
    {0x201A, 7925},  {0x201E, 7927},  {0x2027, 7934},  {0x2031, 7943},  {0x2034, 7944},
    {0x2036, 7945},  {0x203C, 7950},  {0x20AD, 8062},  {0x2104, 8148},  {0x2106, 8149},
    {0x210A, 8152},  {0x2117, 8164},  {0x2122, 8174},  {0x216C, 8236},  {0x217A, 8240},
    {0x2194, 8262},  {0x219A, 8264},  {0x2209, 8374},  {0x2210, 8380},  {0x2212, 8381},
    {0x2216, 8384},  {0x221B, 8388},  {0x2221, 8390},  {0x2224, 8392},  {0x2226, 8393},
    {0x222C, 8394},  {0x222F, 8396},  {0x2238, 8401},  {0x223E, 8406},  {0x2249, 8416},
    {0x224D, 8419},  {0x2253, 8424},  {0x2262, 8437},  {0x2268, 8439},  {0x2270, 8445},
    {0x2296, 8482},  {0x229A, 8485},  {0x22A6, 8496},  {0x22C0, 8521},  {0x2313, 8603},
    {0x246A, 8936},  {0x249C, 8946},  {0x254C, 9046},  {0x2574, 9050},  {0x2590, 9063},
    {0x2596, 9066},  {0x25A2, 9076},  {0x25B4, 9092},  {0x25BE, 9100},  {0x25C8, 9108},
    {0x25CC, 9111},  {0x25D0, 9113},  {0x25E6, 9131},  {0x2607, 9162},  {0x260A, 9164},
    {0x2641, 9218},  {0x2643, 9219},  {0x2E82, 11329}, {0x2E85, 11331}, {0x2E89, 11334},
    {0x2E8D, 11336}, {0x2E98, 11346}, {0x2EA8, 11361}, {0x2EAB, 11363}, {0x2EAF, 11366},
    {0x2EB4, 11370}, {0x2EB8, 11372}, {0x2EBC, 11375}, {0x2ECB, 11389}, {0x2FFC, 11682},
    {0x3004, 11686}, {0x3018, 11687}, {0x301F, 11692}, {0x302A, 11694}, {0x303F, 11714},
    {0x3094, 11716}, {0x309F, 11723}, {0x30F7, 11725}, {0x30FF, 11730}, {0x312A, 11736},
    {0x322A, 11982}, {0x3232, 11989}, {0x32A4, 12102}, {0x3390, 12336}, {0x339F, 12348},
    {0x33A2, 12350}, {0x33C5, 12384}, {0x33CF, 12393}, {0x33D3, 12395}, {0x33D6, 12397},
    {0x3448, 12510}, {0x3474, 12553}, {0x359F, 12851}, {0x360F, 12962}, {0x361B, 12973},
    {0x3919, 13738}, {0x396F, 13823}, {0x39D1, 13919}, {0x39E0, 13933}, {0x3A74, 14080},
    {0x3B4F, 14298}, {0x3C6F, 14585}, {0x3CE1, 14698}, {0x4057, 15583}, {0x4160, 15847},
    {0x4338, 16318}, {0x43AD, 16434}, {0x43B2, 16438}, {0x43DE, 16481}, {0x44D7, 16729},
    {0x464D, 17102}, {0x4662, 17122}, {0x4724, 17315}, {0x472A, 17320}, {0x477D, 17402},
    {0x478E, 17418}, {0x4948, 17859}, {0x497B, 17909}, {0x497E, 17911}, {0x4984, 17915},
    {0x4987, 17916}, {0x499C, 17936}, {0x49A0, 17939}, {0x49B8, 17961}, {0x4C78, 18664},
    {0x4CA4, 18703}, {0x4D1A, 18814}, {0x4DAF, 18962}, {0x9FA6, 19043}, {0xE76C, 33469},
    {0xE7C8, 33470}, {0xE7E7, 33471}, {0xE815, 33484}, {0xE819, 33485}, {0xE81F, 33490},
    {0xE827, 33497}, {0xE82D, 33501}, {0xE833, 33505}, {0xE83C, 33513}, {0xE844, 33520},
    {0xE856, 33536}, {0xE865, 33550}, {0xF92D, 37845}, {0xF97A, 37921}, {0xF996, 37948},
    {0xF9E8, 38029}, {0xF9F2, 38038}, {0xFA10, 38064}, {0xFA12, 38065}, {0xFA15, 38066},
    {0xFA19, 38069}, {0xFA22, 38075}, {0xFA25, 38076}, {0xFA2A, 38078}, {0xFE32, 39108},
    {0xFE45, 39109}, {0xFE53, 39113}, {0xFE58, 39114}, {0xFE67, 39115}, {0xFE6C, 39116},
    {0xFF5F, 39265}, {0xFFE6, 39394},
};
constexpr quint32 kLastBmpLinear = 39419;        // U+FFFF
constexpr quint32 kSupplementaryLinear = 189000; // U+10000, 90 30 81 30

bool haveGb18030()
{
    static const bool have = IsValidCodePage(kGb18030) != 0;
    return have;
}

// Bytes of text in code page; *lossy, when asked for, says a character had no form there.
QByteArray fromWide(UINT page, QStringView text, bool *lossy)
{
    if (text.isEmpty())
        return {};
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int n = int(text.size());
    // No best fit: a character GBK lacks must not turn into a look-alike.
    const DWORD flags = lossy ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL used = FALSE;
    const int size = WideCharToMultiByte(page, flags, wide, n, nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(page, flags, wide, n, bytes.data(), size, nullptr, lossy ? &used : nullptr);
    if (lossy)
        *lossy = used || size == 0;
    return bytes;
}

QString toWide(UINT page, QByteArrayView bytes, bool *valid = nullptr)
{
    if (valid)
        *valid = true;
    if (bytes.isEmpty())
        return {};
    const int n = int(bytes.size());
    if (valid && MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0) == 0)
        *valid = false; // read again below, each bad byte a default character
    const int size = MultiByteToWideChar(page, 0, bytes.data(), n, nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(page, 0, bytes.data(), n, reinterpret_cast<wchar_t *>(text.data()), size);
    return text;
}

QByteArray fourByteForm(quint32 linear)
{
    char b[4];
    b[3] = char(0x30 + linear % 10);
    linear /= 10;
    b[2] = char(0x81 + linear % 126);
    linear /= 126;
    b[1] = char(0x30 + linear % 10);
    b[0] = char(0x81 + linear / 10);
    return QByteArray(b, 4);
}

QByteArray gb18030Form(char32_t code)
{
    if (code >= 0x10000)
        return fourByteForm(kSupplementaryLinear + (code - 0x10000));
    const auto two =
        std::lower_bound(std::begin(kTwoByteForms), std::end(kTwoByteForms), code,
                         [](const TwoByteForm &form, char32_t c) { return form.code < c; });
    if (two != std::end(kTwoByteForms) && two->code == code) {
        const char form[2] = {char(two->bytes >> 8), char(two->bytes & 0xFF)};
        return QByteArray(form, 2);
    }
    const auto next =
        std::upper_bound(std::begin(kFourByteRuns), std::end(kFourByteRuns), code,
                         [](char32_t c, const FourByteRun &run) { return c < run.code; });
    if (next == std::begin(kFourByteRuns))
        return QByteArrayLiteral("?");
    const FourByteRun &run = *std::prev(next);
    return fourByteForm(run.linear + (code - run.code));
}

char32_t fromFourByteForm(quint32 linear)
{
    if (linear >= kSupplementaryLinear && linear - kSupplementaryLinear <= 0xFFFFF)
        return 0x10000 + (linear - kSupplementaryLinear);
    if (linear > kLastBmpLinear)
        return 0xFFFD;
    const auto next =
        std::upper_bound(std::begin(kFourByteRuns), std::end(kFourByteRuns), linear,
                         [](quint32 l, const FourByteRun &run) { return l < run.linear; });
    const FourByteRun &run = *std::prev(next);
    return run.code + (linear - run.linear);
}

// Not QString::fromUcs4, which takes a U+FEFF at the start for a byte order mark and drops it.
void append(QString &text, char32_t code)
{
    if (QChar::requiresSurrogates(code)) {
        text += QChar(QChar::highSurrogate(code));
        text += QChar(QChar::lowSurrogate(code));
    } else {
        text += QChar(char16_t(code));
    }
}

bool isLead(uchar b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool isDigit(uchar b)
{
    return b >= 0x30 && b <= 0x39;
}

} // namespace

QByteArray toGbk(QStringView text)
{
    bool lossy = false;
    QByteArray bytes = fromWide(kGbk, text, &lossy);
    if (!lossy)
        return bytes;

    // Rare path: character by character, each that 936 lacks in GB18030's form.
    bytes.clear();
    bytes.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size();) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const QStringView one = text.mid(i, pair ? 2 : 1);
        i += one.size();
        if (one.size() == 1 && one.at(0).isSurrogate()) {
            bytes += '?'; // half a character has no form in any code page
            continue;
        }
        const QByteArray gbk = fromWide(kGbk, one, &lossy);
        if (!lossy)
            bytes += gbk;
        else if (haveGb18030())
            bytes += fromWide(kGb18030, one, nullptr);
        else
            bytes += gb18030Form(pair ? QChar::surrogateToUcs4(one.at(0), one.at(1))
                                      : one.at(0).unicode());
    }
    return bytes;
}

QString fromGbk(QByteArrayView bytes, bool *valid)
{
    return toWide(kGbk, bytes, valid);
}

QString fromGbkWithFourByteForms(QByteArrayView bytes)
{
    if (haveGb18030())
        return toWide(kGb18030, bytes);
    QString text;
    qsizetype plain = 0; // where the bytes 936 reads as they are begin
    const auto flush = [&](qsizetype end) {
        text += toWide(kGbk, bytes.sliced(plain, end - plain));
    };
    const auto *b = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        if (!isLead(b[i]) || i + 1 >= n) {
            ++i;
            continue;
        }
        if (i + 3 < n && isDigit(b[i + 1]) && isLead(b[i + 2]) && isDigit(b[i + 3])) {
            flush(i);
            const quint32 linear =
                ((quint32(b[i] - 0x81) * 10 + (b[i + 1] - 0x30)) * 126 + (b[i + 2] - 0x81)) * 10 +
                (b[i + 3] - 0x30);
            append(text, fromFourByteForm(linear));
            plain = i += 4;
            continue;
        }
        const quint16 pair = quint16(b[i] << 8 | b[i + 1]);
        const auto two =
            std::find_if(std::begin(kTwoByteForms), std::end(kTwoByteForms),
                         [pair](const TwoByteForm &form) { return form.bytes == pair; });
        if (two != std::end(kTwoByteForms)) {
            flush(i);
            append(text, two->code);
            plain = i + 2;
        }
        i += 2;
    }
    flush(n);
    return text;
}

#else

namespace {

// ICU drops a U+FEFF that begins what it converts, as if it were a byte order mark: such a
// piece is converted after a letter, whose byte is cut off again.
QByteArray encode(const char *codec, QStringView text, bool *ok)
{
    QStringEncoder encoder(codec);
    const bool mark = text.startsWith(QChar(0xFEFF));
    QByteArray bytes = mark ? QByteArray(encoder.encode(QString(u'a' + text))).mid(1)
                            : QByteArray(encoder.encode(text));
    *ok = !encoder.hasError();
    return bytes;
}

QByteArray encodeGbk(QStringView text, bool *ok)
{
    return encode("GBK", text, ok);
}

// Windows' code page 54936 is GB18030-2000; ICU's is the 2005 edition, which swaps ḿ (U+1E3F)
// with a private-use character: ḿ's form is taken from Windows, A8 BC stays GBK's U+E7C7.
constexpr char32_t kSwappedIn2005 = 0x1E3F;
constexpr char32_t kPrivateSwapped = 0xE7C7;

QByteArray encodeGb18030(QStringView cp)
{
    if (cp.size() == 1 && cp.at(0).unicode() == kSwappedIn2005)
        return QByteArrayLiteral("\x81\x35\xF4\x37");
    bool ok = false;
    return encode("GB18030", cp, &ok);
}

} // namespace

QByteArray toGbk(QStringView text)
{
    // Qt's ICU-backed encoder cannot be reset or move-assigned reliably once it has reported an
    // error, so a fresh one replaces it after every miss.
    bool ok = false;
    QByteArray bytes = encodeGbk(text, &ok);
    if (ok)
        return bytes;

    // Rare path. Lines that GBK takes whole stay one conversion each; only a line holding a
    // character outside GBK is converted code point by code point.
    bytes.clear();
    bytes.reserve(text.size() * 2);
    const qsizetype n = text.size();
    for (qsizetype start = 0; start < n;) {
        const qsizetype newline = text.indexOf(u'\n', start);
        const qsizetype end = newline < 0 ? n : newline + 1;
        const QStringView line = text.mid(start, end - start);
        start = end;
        const QByteArray lineBytes = encodeGbk(line, &ok);
        if (ok) {
            bytes += lineBytes;
            continue;
        }
        std::optional<QStringEncoder> gbk; // kept while it succeeds, dropped after a miss
        for (qsizetype i = 0; i < line.size();) {
            const bool pair = line.at(i).isHighSurrogate() && i + 1 < line.size() &&
                              line.at(i + 1).isLowSurrogate();
            const QStringView cp = line.mid(i, pair ? 2 : 1);
            i += cp.size();
            if (cp.size() == 1 && cp.at(0).isSurrogate()) {
                bytes += '?'; // half a character has no form in any code page
                continue;
            }
            if (cp.at(0).unicode() != 0xFEFF) { // see encode()
                if (!gbk)
                    gbk.emplace("GBK");
                const QByteArray piece = gbk->encode(cp);
                if (!gbk->hasError()) {
                    bytes += piece;
                    continue;
                }
                gbk.reset();
            }
            bytes += encodeGb18030(cp);
        }
    }
    return bytes;
}

QString fromGbk(QByteArrayView bytes, bool *valid)
{
    // Stateless: a cut-off last character is an error, not held back for more bytes.
    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    QString text = gbk.decode(bytes);
    if (valid)
        *valid = !gbk.hasError();
    return text;
}

QString fromGbkWithFourByteForms(QByteArrayView bytes)
{
    QStringDecoder gb18030("GB18030");
    QString text = gb18030.decode(bytes);
    for (QChar &c : text) {
        if (c.unicode() == kSwappedIn2005)
            c = QChar(char16_t(kPrivateSwapped));
        else if (c.unicode() == kPrivateSwapped)
            c = QChar(char16_t(kSwappedIn2005));
    }
    return text;
}

#endif
