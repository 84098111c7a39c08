#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// GBK as Windows has it (code page 936), the one place that knows how this platform converts
// it: Windows' own code pages there, Qt's converters elsewhere. Both give the same bytes.

// GBK bytes of text; a character GBK cannot hold gets its GB18030 four-byte form, half a
// surrogate pair '?'.
QByteArray toGbk(QStringView text);
// Text of GBK bytes, as Windows reads code page 936 (a page's "gbk" or "gb2312"); *valid, when
// asked for, says every byte was part of a GBK character.
QString fromGbk(QByteArrayView bytes, bool *valid = nullptr);
// Text of what toGbk wrote: GBK with GB18030's four-byte forms.
QString fromGbkWithFourByteForms(QByteArrayView bytes);
