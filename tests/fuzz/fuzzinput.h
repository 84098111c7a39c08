#pragma once

// Reading typed values off the fuzzer's bytes; past the end everything reads as zero.

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {}

    bool atEnd() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    // The rest of the input as text: UTF-16 code units (lone surrogates included) or UTF-8.
    QString restAsText(bool utf16)
    {
        const auto *start = reinterpret_cast<const char *>(m_data + m_pos);
        const size_t n = remaining();
        m_pos = m_size;
        if (!utf16)
            return QString::fromUtf8(start, qsizetype(n));
        QString text;
        text.reserve(qsizetype(n / 2));
        for (size_t i = 0; i + 1 < n; i += 2)
            text.append(QChar(char16_t(uint8_t(start[i]) | (uint8_t(start[i + 1]) << 8))));
        return text;
    }

    // A short text of up to maxUnits code units drawn from a small alphabet, so that repeats,
    // case and blank variants, CJK, surrogate pairs and lone surrogates all come up often.
    QString word(int maxUnits)
    {
        static const char16_t alphabet[] = {u'a',  u'A', u' ', u'词',  u'花',  u'\r', u'\n',
                                            u'/',  u'.', u'<', 0xD842, 0xDFB7, u'€',  0xE76C,
                                            u'\\', u':', u'x', u'n',   u'1',   u'"'};
        const int n = byte() % (maxUnits + 1);
        QString text;
        for (int i = 0; i < n; ++i)
            text.append(QChar(alphabet[byte() % (sizeof alphabet / sizeof alphabet[0])]));
        return text;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A failed property: report and abort so that the fuzzer keeps the input.
[[noreturn]] inline void fuzzFail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "property failed: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}
#define FUZZ_CHECK(cond, detail)                                                                   \
    do {                                                                                           \
        if (!(cond))                                                                               \
            fuzzFail(#cond, detail);                                                               \
    } while (0)

// The application object and a folder of its own, for the targets that need either. Neither is
// destroyed before exit: then Qt's globals may be gone.
inline QTemporaryDir *fuzzAppAndFolder(const char *name)
{
    static int argc = 1;
    static char *argv[] = {const_cast<char *>(name), nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    static QTemporaryDir dir;
    Q_UNUSED(app);
    return dir.isValid() ? &dir : nullptr;
}
