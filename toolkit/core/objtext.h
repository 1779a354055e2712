// The text form of a component stream and the converters between it and the
// binary form (filer.h).
//
// Shape, lines ended by CR LF, two blanks of indentation per level:
//   object Name: TClass          ("object TClass" when the name is empty;
//     Prop = value                "inherited"/"inline" for those flags,
//     Font.Name = 'Arial'         " [n]" after the class for a child position)
//     object Child: TChild
//     end
//   end
// Values: integers in decimal ("$" hex is read too); floats with "." and an
// optional suffix s (single), c (currency), d (date); identifiers, True,
// False, nil, Null; sets "[a, b]"; strings as quoted runs of characters from
// 32 up other than the quote, and "#code" for every other character, with no
// separator; a string longer than 64 characters starts on a new line one level
// deeper and breaks every 64 characters with " +"; 1251 letters stand as they
// are in byte strings, while in wide strings every character from 128 up is
// "#code" (so a string with a code of 128 or more reads back as wide text);
// binary "{hex}", 32 bytes to a line one level deeper when 32 bytes or more;
// lists "(" values ")"; collections "<" then per item a line "item" (" [n]"
// for an order), its properties one level deeper, a line "end", and ">"
// right after the last "end" ("<>" when empty).
#pragma once

#include "toolkit/core/classes.h"

// Converts one binary object (from the signature) at input's position into its
// text at output's position. Malformed input raises EReadError.
void ObjectBinaryToText(TStream& input, TStream& output);
// Converts the text of one object into the binary form, signature first.
// Text not of the shape raises EParserError "<what> on line <n>".
void ObjectTextToBinary(TStream& input, TStream& output);
