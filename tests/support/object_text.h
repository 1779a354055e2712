// The component streams' two forms, binary and text, converted into each
// other in memory.
#pragma once

#include <string>

#include "toolkit/core/classes.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/typinfo.h"

namespace object_text {

inline std::string BinaryToText(const std::string& bytes) {
  TStringStream in(bytes);
  TStringStream out;
  ObjectBinaryToText(in, out);
  return out.DataString();
}

inline std::string TextToBinary(const std::string& text) {
  TStringStream in(text);
  TStringStream out;
  ObjectTextToBinary(in, out);
  return out.DataString();
}

// A binary property's reader that keeps the whole value in `bytes`.
inline TStreamProc ReadInto(std::string& bytes) {
  return [&bytes](TStream& s) {
    bytes.assign(static_cast<size_t>(s.Size()), '\0');
    s.ReadBuffer(bytes.data(), s.Size());
  };
}

}  // namespace object_text
