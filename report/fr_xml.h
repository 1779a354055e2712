// The XML template writer: a template written as XML in the form of the
// later generation of report templates (one root element for the report with
// its script and options, one element per page, one empty element per
// object). Nothing in this system reads it back.
//
// The text is single-byte Windows-1251, as the declaration says; a line ends
// with carriage return and line feed. Texts inside attribute values are
// escaped (EscapeXmlText), page sizes and margins are whole millimetres,
// object positions and sizes stay in page pixels.
#pragma once

#include <string_view>

#include "toolkit/core/classes.h"

class TfrTemplate;

// The declaration every written document starts with.
inline constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";

// A text as a double-quoted attribute value: line feed, carriage return, tab,
// double quote, ampersand, less-than and greater-than become character
// references ("&#34;"). Control characters XML cannot carry and the one byte
// the code page leaves without a character (0x98) are left out.
AnsiString EscapeXmlText(std::string_view text);
// The bytes as upper-case hexadecimal, two digits a byte.
AnsiString StreamToHex(std::string_view bytes);
// Page pixels to whole millimetres.
int PixelsToXmlMillimetres(int pixels);

// Writes the whole document. The objects' Left is shifted by their page's
// offset while they are written and put back after, also on errors.
void WriteXmlTemplate(TfrTemplate& report, TStream& stream);
