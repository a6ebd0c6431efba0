#include "core/features/report/rtftext.h"

#include <algorithm>
#include <array>

namespace keldor {

namespace {

// Code page 1252 places these characters at 0x80..0x9F; the rest of its upper half is Latin-1.
constexpr std::array<char16_t, 32> cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int cp1252Byte(char16_t c)
{
    if (c >= 0xA0 && c <= 0xFF)
        return c;
    // The gaps hold 0, which matches no character from 0x80 up, the only ones asked here.
    const auto found = std::find(cp1252High.cbegin(), cp1252High.cend(), c);
    return found == cp1252High.cend() ? -1 : 0x80 + static_cast<int>(found - cp1252High.cbegin());
}

const char *const headerLines[] = {
    R"({\rtf1\ansi\ansicpg1252\uc1 \deff1\deflang1033\deflangfe1031)",
    R"({\fonttbl{\f0\froman\fcharset0\fprq2{\*\panose 02020603050405020304}Times New Roman;})"
    R"({\f1\fswiss\fcharset0\fprq2{\*\panose 020b0604020202020204}Arial;})",
    R"({\f16\froman\fcharset238\fprq2 Times New Roman CE;}{\f17\froman\fcharset204\fprq2 Times New Roman Cyr;})"
    R"({\f19\froman\fcharset161\fprq2 Times New Roman Greek;}{\f20\froman\fcharset162\fprq2 Times New Roman Tur;})"
    R"({\f21\froman\fcharset186\fprq2 Times New Roman Baltic;})",
    R"({\f22\fswiss\fcharset238\fprq2 Arial CE;}{\f23\fswiss\fcharset204\fprq2 Arial Cyr;})"
    R"({\f25\fswiss\fcharset161\fprq2 Arial Greek;}{\f26\fswiss\fcharset162\fprq2 Arial Tur;})"
    R"({\f27\fswiss\fcharset186\fprq2 Arial Baltic;}})",
    R"({\colortbl;\red0\green0\blue0;\red0\green0\blue255;\red0\green255\blue255;\red0\green255\blue0;)"
    R"(\red255\green0\blue255;\red255\green0\blue0;\red255\green255\blue0;\red255\green255\blue255;)"
    R"(\red0\green0\blue128;\red0\green128\blue128;\red0\green128\blue0;\red128\green0\blue128;)"
    R"(\red128\green0\blue0;\red128\green128\blue0;\red128\green128\blue128;\red192\green192\blue192;})",
    R"({\stylesheet{\widctlpar\adjustright \f1\fs20\lang1031\cgrid \snext0 Normal;})"
    R"({\*\cs10 \additive Default Paragraph Font;}})",
    R"({\info{\title }{\author }{\operator }{\creatim\yr2011\mo11\dy21\hr9\min30})"
    R"({\revtim\yr2011\mo11\dy21\hr9\min30}{\printim\yr2011\mo11\dy21\hr9\min30})"
    R"({\version1}{\edmins0}{\nofpages1}{\nofwords0}{\nofchars0}{\nofcharsws0}{\vern8247}})",
    R"(\paperw11907\paperh16840\margl851\margr851\margt1134\margb1134 \deftab708)"
    R"(\widowctrl\ftnbj\aenddoc\hyphhotz425\formshade\viewkind1\viewscale100\fet0)",
    R"(\sectd \linex0\headery709\footery709\colsx709\endnhere\sectdefaultcl )",
    R"({\*\pnseclvl1\pnucrm\pnstart1\pnindent720\pnhang{\pntxta .}})"
    R"({\*\pnseclvl2\pnucltr\pnstart1\pnindent720\pnhang{\pntxta .}})"
    R"({\*\pnseclvl3\pndec\pnstart1\pnindent720\pnhang{\pntxta .}})"
    R"({\*\pnseclvl4\pnlcltr\pnstart1\pnindent720\pnhang{\pntxta )}})",
    R"({\*\pnseclvl5\pndec\pnstart1\pnindent720\pnhang{\pntxtb (}{\pntxta )}})"
    R"({\*\pnseclvl6\pnlcltr\pnstart1\pnindent720\pnhang{\pntxtb (}{\pntxta )}})"
    R"({\*\pnseclvl7\pnlcrm\pnstart1\pnindent720\pnhang{\pntxtb (}{\pntxta )}})"
    R"({\*\pnseclvl8\pnlcltr\pnstart1\pnindent720\pnhang{\pntxtb (}{\pntxta )}})"
    R"({\*\pnseclvl9\pnlcrm\pnstart1\pnindent720\pnhang{\pntxtb (}{\pntxta )}})",
    R"(\pard\plain \widctlpar\tx567\tx1560\tx1701\tx2268\tx3261\tx3402\tx3969\tx4962\tx5103)"
    R"(\tx5670\tx6663\tx6804\tx7371\tx8364\tx8505\tx9072\tx9639\adjustright \f1\fs20\lang1031)",
};

} // namespace

QByteArray rtfEscape(const QString &text)
{
    QByteArray out;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x20 || c == 0x7F)
            continue;
        if (c == u'\\' || c == u'{' || c == u'}') {
            out.append('\\').append(static_cast<char>(c));
        } else if (c < 0x80) {
            out.append(static_cast<char>(c));
        } else if (const int byte = cp1252Byte(c); byte >= 0) {
            out.append("\\'").append(QByteArray::number(byte, 16).rightJustified(2, '0'));
        } else {
            out.append("\\u").append(QByteArray::number(static_cast<qint16>(c))).append('?');
        }
    }
    return out;
}

QByteArray rtfDocumentHeader()
{
    QByteArray out;
    for (const char *line : headerLines)
        out.append(line).append("\r\n");
    return out;
}

} // namespace keldor
