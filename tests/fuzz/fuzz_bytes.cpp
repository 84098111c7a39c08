// Decoding arbitrary response bodies: never a crash, and what the decoder promises holds.

#include "fetch/pagefetch.h"
#include "fuzzinput.h"

#include <QByteArray>
#include <QStringEncoder>
#include <QUtf8StringView>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString gbk = BytesToBstr(body, u"gb2312"_s);
    const QString utf8 = BytesToBstr(body, u"UTF-8"_s);
    const QString hex = QString::fromLatin1(body.toHex());

    // Each call decodes afresh: no state carried over from an earlier body.
    FUZZ_CHECK(BytesToBstr(body, u"gb2312"_s) == gbk, hex);
    // The charset name is matched without regard to case.
    FUZZ_CHECK(BytesToBstr(body, u"GB2312"_s) == gbk, hex);
    FUZZ_CHECK(BytesToBstr(body, u"no-such-charset"_s).isEmpty(), hex);
    FUZZ_CHECK(BytesToBstr(body, QString()).isEmpty(), hex);

    if (body.isEmpty()) {
        FUZZ_CHECK(gbk.isEmpty() && utf8.isEmpty(), hex);
        return 0;
    }

    // Plain ASCII reads the same in both charsets. (A body made only of a cut-off multi-byte
    // sequence may decode to nothing; that is not promised either way.)
    bool ascii = true;
    for (const char c : body)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii) {
        FUZZ_CHECK(gbk == QString::fromLatin1(body), hex);
        FUZZ_CHECK(utf8 == QString::fromLatin1(body), hex);
    }

    // Well-formed UTF-8 decodes exactly, less one leading byte-order mark (a second one is text).
    if (QUtf8StringView(body.constData(), body.size()).isValidUtf8()) {
        const QByteArray bom("\xEF\xBB\xBF");
        const QByteArray plain = body.startsWith(bom) ? body.mid(bom.size()) : body;
        FUZZ_CHECK(utf8.toUtf8() == plain, hex);
    }

    // "gb2312" stands for code page 936: any text GBK can hold, GBK-encoded, comes back whole,
    // traditional forms included.
    FuzzInput in(data, size);
    const QString text = in.restAsText(true);
    QStringEncoder encoder("GBK");
    const QByteArray encoded = encoder.encode(text);
    if (!encoder.hasError() && !text.isEmpty() && !text.back().isHighSurrogate())
        FUZZ_CHECK(BytesToBstr(encoded, u"gb2312"_s) == text, text);
    return 0;
}
