#include "toolkit/core/objtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>

#include "toolkit/core/filer.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

// Characters of a string before " +" and a line break.
constexpr int kLineLength = 64;
// Bytes of binary data on one line.
constexpr int kBytesPerLine = 32;

const char* const kCrLf = "\r\n";

AnsiString Indent(int level) { return AnsiString(static_cast<size_t>(2 * level), ' '); }

// The shortest text that reads back as the same double. Without a suffix a
// float must not look like an integer, or it would come back as one.
AnsiString FloatText(double value, bool plain) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  AnsiString text(buffer, result.ptr);
  if (plain && text.find_first_of(".e") == AnsiString::npos) text += ".0";
  return text;
}

AnsiString SingleText(float value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return AnsiString(buffer, result.ptr);
}

// The exact decimal of a currency value: "12.5", "-0.0001", "3".
AnsiString CurrencyText(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  AnsiString text = std::to_string(magnitude / 10000);
  AnsiString fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return negative ? "-" + text : text;
}

// ---- binary to text --------------------------------------------------------------

class BinaryToText {
 public:
  BinaryToText(TStream& input, TStream& output) : in_(input), reader_(input), out_(output) {}

  void Run() {
    reader_.ReadSignature();
    ConvertObject(0);
    out_.WriteBuffer(text_.data(), static_cast<int64_t>(text_.size()));
  }

 private:
  void NewLine(int level) {
    text_ += kCrLf;
    text_ += Indent(level);
  }

  void Enter() {
    if (++depth_ > kMaxFilerNesting) throw EReadError("Stream nests too deeply");
  }

  void ConvertObject(int level) {
    Enter();
    uint8_t prefix;
    in_.ReadBuffer(&prefix, 1);
    uint8_t flags = 0;
    AnsiString position;
    if ((prefix & 0xF0) == 0xF0) {
      flags = prefix & 0x0F;
      if ((flags & ffChildPos) != 0) position = " [" + IntToStr(reader_.ReadInteger()) + "]";
    } else {
      in_.Seek(-1, soFromCurrent);
    }
    AnsiString class_name = reader_.ReadStr();
    AnsiString name = reader_.ReadStr();
    if (!IsValidIdent(class_name) || !(name.empty() || IsValidIdent(name))) filer_detail::InvalidStream();
    text_ += Indent(level);
    text_ += (flags & ffInherited) != 0 ? "inherited " : ((flags & ffInline) != 0 ? "inline " : "object ");
    if (!name.empty()) text_ += name + ": ";
    text_ += class_name + position + kCrLf;
    while (!reader_.EndOfList()) ConvertProperty(level + 1);
    reader_.ReadListEnd();
    while (!reader_.EndOfList()) ConvertObject(level + 1);
    reader_.ReadListEnd();
    text_ += Indent(level) + "end" + kCrLf;
    --depth_;
  }

  // Words the text form reserves: as a property name, a value identifier
  // would not read back as what it was.
  static bool IsReserved(const AnsiString& word, std::initializer_list<const char*> words) {
    for (const char* w : words) {
      if (SameText(word, w)) return true;
    }
    return false;
  }

  void ConvertProperty(int level) {
    AnsiString name = reader_.ReadStr();
    if (!IsPropertyPath(name) || IsReserved(name.substr(0, name.find('.')), {"object", "inherited", "inline", "end"})) {
      filer_detail::InvalidStream();
    }
    text_ += Indent(level) + name + " = ";
    ConvertValue(level);
    text_ += kCrLf;
  }

  static bool IsPropertyPath(const AnsiString& name) {
    size_t start = 0;
    for (;;) {
      size_t dot = name.find('.', start);
      if (!IsValidIdent(name.substr(start, dot == AnsiString::npos ? AnsiString::npos : dot - start))) return false;
      if (dot == AnsiString::npos) return true;
      start = dot + 1;
    }
  }

  void ConvertValue(int level) {
    Enter();
    switch (reader_.NextValue()) {
      case vaList:
        reader_.ReadValue();
        text_ += "(";
        while (!reader_.EndOfList()) {
          NewLine(level + 1);
          ConvertValue(level + 1);
        }
        reader_.ReadListEnd();
        text_ += ")";
        break;
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaInt64:
        text_ += IntToStr(reader_.ReadInteger());
        break;
      case vaExtended:
        text_ += FloatText(reader_.ReadFloat(), true);
        break;
      case vaSingle:
        text_ += SingleText(static_cast<float>(reader_.ReadFloat())) + "s";
        break;
      case vaCurrency:
        text_ += CurrencyText(reader_.ReadCurrency()) + "c";
        break;
      case vaDate:
        text_ += FloatText(reader_.ReadDate(), false) + "d";
        break;
      case vaString:
      case vaLString:
        WriteByteString(reader_.ReadString(), level);
        break;
      case vaWString:
      case vaUTF8String:
        WriteWideString(reader_.ReadWideString(), level);
        break;
      case vaIdent:
      case vaFalse:
      case vaTrue:
      case vaNil:
      case vaNull: {
        const bool named = reader_.NextValue() == vaIdent;
        AnsiString ident = reader_.ReadIdent();
        if (!IsPropertyPath(ident) || (named && IsReserved(ident, {"True", "False", "nil", "Null"}))) {
          filer_detail::InvalidStream();
        }
        text_ += ident;
        break;
      }
      case vaBinary:
        WriteBinary(reader_.ReadBinary(), level);
        break;
      case vaSet: {
        reader_.ReadValue();
        text_ += "[";
        bool first = true;
        for (AnsiString member = reader_.ReadStr(); !member.empty(); member = reader_.ReadStr()) {
          if (!IsValidIdent(member)) filer_detail::InvalidStream();
          if (!first) text_ += ", ";
          text_ += member;
          first = false;
        }
        text_ += "]";
        break;
      }
      case vaCollection:
        reader_.ReadValue();
        text_ += "<";
        while (!reader_.EndOfList()) {
          NewLine(level + 1);
          text_ += "item";
          TValueType next = reader_.NextValue();
          if (next == vaInt8 || next == vaInt16 || next == vaInt32 || next == vaInt64) {
            text_ += " [" + IntToStr(reader_.ReadInteger()) + "]";
          }
          text_ += kCrLf;
          reader_.ReadListBegin();
          while (!reader_.EndOfList()) ConvertProperty(level + 2);
          reader_.ReadListEnd();
          text_ += Indent(level + 1) + "end";
        }
        reader_.ReadListEnd();
        text_ += ">";
        break;
    }
    --depth_;
  }

  // Quoted runs and #codes; a character counts as one whatever its form. In a
  // byte string only controls and the quote are codes; in a wide string also
  // everything from 128 up.
  template <class Char>
  void WriteQuoted(const std::basic_string<Char>& s, int level, bool wide) {
    if (s.empty()) {
      text_ += "''";
      return;
    }
    auto plain = [wide](Char c) {
      auto code = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
      return code >= 32 && code != '\'' && (!wide || code < 128);
    };
    if (s.size() > static_cast<size_t>(kLineLength)) NewLine(level + 1);
    size_t i = 0;
    size_t line_start = 0;
    while (i < s.size()) {
      bool line_break = false;
      if (plain(s[i])) {
        size_t j = i;
        while (i < s.size() && plain(s[i]) && i - line_start < static_cast<size_t>(kLineLength)) ++i;
        text_ += '\'';
        for (size_t k = j; k < i; ++k) text_ += static_cast<char>(s[k]);
        text_ += '\'';
      } else {
        text_ += '#';
        text_ += std::to_string(static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(s[i])));
        ++i;
      }
      if (i - line_start >= static_cast<size_t>(kLineLength)) line_break = true;
      if (line_break && i < s.size()) {
        text_ += " +";
        NewLine(level + 1);
        line_start = i;
      }
    }
  }

  void WriteByteString(const AnsiString& s, int level) { WriteQuoted(s, level, false); }
  void WriteWideString(const std::u16string& s, int level) { WriteQuoted(s, level, true); }

  void WriteBinary(const std::string& data, int level) {
    static const char kHex[] = "0123456789ABCDEF";
    text_ += "{";
    const bool multi_line = data.size() >= static_cast<size_t>(kBytesPerLine);
    for (size_t i = 0; i < data.size(); ++i) {
      if (multi_line && i % kBytesPerLine == 0) NewLine(level + 1);
      auto byte = static_cast<unsigned char>(data[i]);
      text_ += kHex[byte >> 4];
      text_ += kHex[byte & 15];
    }
    text_ += "}";
  }

  TStream& in_;
  TReader reader_;
  TStream& out_;
  AnsiString text_;
  int depth_ = 0;
};

// ---- text to binary --------------------------------------------------------------

enum class Tok { End, Symbol, String, Integer, Float, Char };

struct Token {
  Tok kind = Tok::End;
  char ch = 0;          // Tok::Char
  AnsiString symbol;    // Tok::Symbol; the number's text for Tok::Float
  AnsiString bytes;     // Tok::String, narrow
  std::u16string wide;  // Tok::String, when wide
  bool is_wide = false;
  int64_t integer = 0;  // Tok::Integer
  char suffix = 0;      // Tok::Float: 0, 's', 'c' or 'd'
};

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class TextToBinary {
 public:
  TextToBinary(std::string text, TStream& output) : text_(std::move(text)), writer_(output) {}

  void Run() {
    Next();
    writer_.WriteSignature();
    ParseObject(0);
    if (token_.kind != Tok::End) Error("End of file expected");
  }

 private:
  [[noreturn]] void Error(const AnsiString& what) const { throw EParserError(Format("%s on line %d", {what, line_})); }

  void SkipBlanks() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r' && c != '\f' && c != '\v') {
        break;
      }
      ++pos_;
    }
  }

  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  void Next() {
    SkipBlanks();
    token_ = Token{};
    if (pos_ >= text_.size()) return;
    char c = text_[pos_];
    if (IsIdentStart(c)) {
      size_t start = pos_;
      while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
      token_.kind = Tok::Symbol;
      token_.symbol = text_.substr(start, pos_ - start);
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else if (IsDecimalDigit(c) || c == '$' ||
               (c == '-' && pos_ + 1 < text_.size() && (IsDecimalDigit(text_[pos_ + 1]) || text_[pos_ + 1] == '$'))) {
      ReadNumber();
    } else {
      token_.kind = Tok::Char;
      token_.ch = c;
      ++pos_;
    }
  }

  void ReadString() {
    struct Piece {
      bool code;
      AnsiString bytes;
      uint32_t value;
    };
    std::vector<Piece> pieces;
    bool wide = false;
    while (pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '#')) {
      if (text_[pos_] == '\'') {
        ++pos_;
        AnsiString run;
        for (;;) {
          if (pos_ >= text_.size() || text_[pos_] == '\r' || text_[pos_] == '\n') Error("Unterminated string");
          if (text_[pos_] == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              run += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          run += text_[pos_++];
        }
        pieces.push_back({false, std::move(run), 0});
      } else {
        ++pos_;
        uint32_t value = 0;
        size_t digits = 0;
        if (Peek() == '$') {
          ++pos_;
          for (int h; pos_ < text_.size() && (h = HexValue(text_[pos_])) >= 0; ++pos_, ++digits) {
            value = value * 16 + static_cast<uint32_t>(h);
            if (value > 0xFFFF) Error("Invalid character code");
          }
        } else {
          for (; pos_ < text_.size() && IsDecimalDigit(text_[pos_]); ++pos_, ++digits) {
            value = value * 10 + static_cast<uint32_t>(text_[pos_] - '0');
            if (value > 0xFFFF) Error("Invalid character code");
          }
        }
        if (digits == 0) Error("Character code expected");
        if (value >= 128) wide = true;
        pieces.push_back({true, {}, value});
      }
    }
    token_.kind = Tok::String;
    token_.is_wide = wide;
    for (const Piece& piece : pieces) {
      if (wide) {
        token_.wide += piece.code ? std::u16string(1, static_cast<char16_t>(piece.value)) : AnsiToWide(piece.bytes);
      } else {
        token_.bytes += piece.code ? AnsiString(1, static_cast<char>(piece.value)) : piece.bytes;
      }
    }
  }

  void ReadNumber() {
    const size_t start = pos_;
    bool negative = false;
    if (Peek() == '-') {
      negative = true;
      ++pos_;
    }
    if (Peek() == '$') {
      ++pos_;
      uint64_t value = 0;
      size_t digits = 0;
      for (int h; pos_ < text_.size() && (h = HexValue(text_[pos_])) >= 0; ++pos_, ++digits) {
        if (value >> 60 != 0) Error("Invalid integer value");
        value = value * 16 + static_cast<uint64_t>(h);
      }
      if (digits == 0) Error("Number expected");
      token_.kind = Tok::Integer;
      token_.integer = negative ? static_cast<int64_t>(uint64_t{0} - value) : static_cast<int64_t>(value);
      return;
    }
    while (IsDecimalDigit(Peek())) ++pos_;
    bool is_float = false;
    if (Peek() == '.' && pos_ + 1 < text_.size() && IsDecimalDigit(text_[pos_ + 1])) {
      is_float = true;
      ++pos_;
      while (IsDecimalDigit(Peek())) ++pos_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      size_t save = pos_;
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (IsDecimalDigit(Peek())) {
        is_float = true;
        while (IsDecimalDigit(Peek())) ++pos_;
      } else {
        pos_ = save;
      }
    }
    const AnsiString number = text_.substr(start, pos_ - start);
    char suffix = 0;
    if (Peek() == 's' || Peek() == 'S' || Peek() == 'c' || Peek() == 'C' || Peek() == 'd' || Peek() == 'D') {
      suffix = static_cast<char>(Peek() | 0x20);
      ++pos_;
      is_float = true;
    }
    if (IsIdentChar(Peek())) Error("Invalid number");
    if (!is_float) {
      int64_t value = 0;
      auto result = std::from_chars(number.data(), number.data() + number.size(), value);
      if (result.ec != std::errc() || result.ptr != number.data() + number.size()) Error("Invalid integer value");
      token_.kind = Tok::Integer;
      token_.integer = value;
      return;
    }
    token_.kind = Tok::Float;
    token_.symbol = number;
    token_.suffix = suffix;
  }

  // Raw hex digits after "{", blanks and line breaks allowed, through "}".
  std::string ReadHex() {
    std::string bytes;
    int high = -1;
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) Error("'}' expected");
      char c = text_[pos_++];
      if (c == '}') break;
      int h = HexValue(c);
      if (h < 0) Error("Invalid binary value");
      if (high < 0) {
        high = h;
      } else {
        bytes.push_back(static_cast<char>(high * 16 + h));
        high = -1;
      }
    }
    if (high >= 0) Error("Invalid binary value");
    return bytes;
  }

  bool IsChar(char c) const { return token_.kind == Tok::Char && token_.ch == c; }
  bool IsSymbol(const char* word) const { return token_.kind == Tok::Symbol && SameText(token_.symbol, word); }
  bool IsObjectStart() const { return IsSymbol("object") || IsSymbol("inherited") || IsSymbol("inline"); }

  void ExpectChar(char c) {
    if (!IsChar(c)) Error(Format("'%s' expected", {AnsiString(1, c)}));
    Next();
  }
  AnsiString ExpectIdent() {
    if (token_.kind != Tok::Symbol) Error("Identifier expected");
    AnsiString ident = token_.symbol;
    Next();
    return ident;
  }
  int64_t ExpectInteger() {
    if (token_.kind != Tok::Integer) Error("Integer expected");
    int64_t value = token_.integer;
    Next();
    return value;
  }

  void Enter() {
    if (++depth_ > kMaxFilerNesting) Error("Too deeply nested");
  }

  void ParseObject(int level) {
    Enter();
    uint8_t flags = 0;
    if (IsSymbol("inherited")) {
      flags = ffInherited;
    } else if (IsSymbol("inline")) {
      flags = ffInline;
    } else if (!IsSymbol("object")) {
      Error("Object expected");
    }
    Next();
    AnsiString class_name = ExpectIdent();
    AnsiString name;
    if (IsChar(':')) {
      Next();
      name = class_name;
      class_name = ExpectIdent();
    }
    bool has_position = false;
    int64_t position = 0;
    if (IsChar('[')) {
      Next();
      position = ExpectInteger();
      ExpectChar(']');
      has_position = true;
      flags |= ffChildPos;
    }
    if (class_name.size() > 255 || name.size() > 255) Error("Identifier too long");
    if (flags != 0) {
      const auto prefix = static_cast<uint8_t>(0xF0 | flags);
      writer_.WriteValue(static_cast<TValueType>(prefix));
      if (has_position) writer_.WriteInteger(position);
    }
    writer_.WriteStr(class_name);
    writer_.WriteStr(name);
    while (token_.kind == Tok::Symbol && !IsObjectStart() && !IsSymbol("end")) ParseProperty(level + 1);
    writer_.WriteListEnd();
    while (IsObjectStart()) ParseObject(level + 1);
    writer_.WriteListEnd();
    if (!IsSymbol("end")) Error("'end' expected");
    Next();
    --depth_;
  }

  AnsiString DottedIdent() {
    AnsiString name = ExpectIdent();
    while (IsChar('.')) {
      Next();
      name += "." + ExpectIdent();
    }
    if (name.size() > 255) Error("Identifier too long");
    return name;
  }

  void ParseProperty(int level) {
    writer_.WriteStr(DottedIdent());
    ExpectChar('=');
    ParseValue(level, false);
  }

  void ParseValue(int level, bool in_list) {
    Enter();
    switch (token_.kind) {
      case Tok::Integer:
        writer_.WriteInteger(token_.integer);
        Next();
        break;
      case Tok::Float:
        WriteFloat();
        Next();
        break;
      case Tok::String:
        WriteString();
        break;
      case Tok::Symbol: {
        AnsiString ident = DottedIdent();
        if (SameText(ident, "Null")) {
          // Null is the list end mark in the binary form: only a whole value.
          if (in_list) Error("Value expected");
          writer_.WriteValue(vaNull);
        } else {
          writer_.WriteIdent(ident);
        }
        break;
      }
      case Tok::Char:
        switch (token_.ch) {
          case '[':
            Next();
            writer_.WriteValue(vaSet);
            if (!IsChar(']')) {
              for (;;) {
                AnsiString member = ExpectIdent();
                if (member.size() > 255) Error("Identifier too long");
                writer_.WriteStr(member);
                if (IsChar(']')) break;
                ExpectChar(',');
              }
            }
            Next();
            writer_.WriteStr("");
            break;
          case '(':
            Next();
            writer_.WriteListBegin();
            while (!IsChar(')')) {
              if (token_.kind == Tok::End) Error("')' expected");
              ParseValue(level + 1, true);
            }
            Next();
            writer_.WriteListEnd();
            break;
          case '{': {
            std::string bytes = ReadHex();
            writer_.WriteBinary(bytes.data(), static_cast<int64_t>(bytes.size()));
            Next();
            break;
          }
          case '<':
            Next();
            writer_.WriteValue(vaCollection);
            while (!IsChar('>')) {
              if (!IsSymbol("item")) Error("'item' expected");
              Next();
              if (IsChar('[')) {
                Next();
                writer_.WriteInteger(ExpectInteger());
                ExpectChar(']');
              }
              writer_.WriteListBegin();
              while (token_.kind == Tok::Symbol && !IsSymbol("end")) ParseProperty(level + 2);
              if (!IsSymbol("end")) Error("'end' expected");
              Next();
              writer_.WriteListEnd();
            }
            Next();
            writer_.WriteListEnd();
            break;
          default:
            Error("Value expected");
        }
        break;
      case Tok::End:
        Error("Value expected");
    }
    --depth_;
  }

  void WriteFloat() {
    const AnsiString& number = token_.symbol;
    if (token_.suffix == 'c') {
      writer_.WriteCurrency(ParseCurrency(number));
      return;
    }
    double value = 0;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec != std::errc() || result.ptr != number.data() + number.size() || !std::isfinite(value)) {
      Error("Invalid floating-point value");
    }
    if (token_.suffix == 's') {
      writer_.WriteSingle(static_cast<float>(value));
    } else if (token_.suffix == 'd') {
      writer_.WriteDate(value);
    } else {
      writer_.WriteFloat(value);
    }
  }

  // Exactly, by digits: at most four decimals, within the 64-bit range.
  int64_t ParseCurrency(const AnsiString& number) {
    size_t i = 0;
    bool negative = false;
    if (i < number.size() && number[i] == '-') {
      negative = true;
      ++i;
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t scaled = 0;
    int decimals = -1;
    auto push = [&](uint64_t digit) {
      if (scaled > (limit - digit) / 10) Error("Invalid currency value");
      scaled = scaled * 10 + digit;
    };
    for (; i < number.size(); ++i) {
      char c = number[i];
      if (c == '.' && decimals < 0) {
        decimals = 0;
        continue;
      }
      if (!IsDecimalDigit(c) || decimals >= 4) Error("Invalid currency value");
      push(static_cast<uint64_t>(c - '0'));
      if (decimals >= 0) ++decimals;
    }
    for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) push(0);
    return negative ? static_cast<int64_t>(uint64_t{0} - scaled) : static_cast<int64_t>(scaled);
  }

  void WriteString() {
    bool wide = token_.is_wide;
    AnsiString bytes = token_.bytes;
    std::u16string units = token_.wide;
    Next();
    while (IsChar('+')) {
      Next();
      if (token_.kind != Tok::String) Error("String expected");
      if (token_.is_wide && !wide) {
        units = AnsiToWide(bytes);
        wide = true;
      }
      if (wide) {
        units += token_.is_wide ? token_.wide : AnsiToWide(token_.bytes);
      } else {
        bytes += token_.bytes;
      }
      Next();
    }
    if (wide) {
      writer_.WriteWideString(units);
    } else {
      writer_.WriteString(bytes);
    }
  }

  std::string text_;
  size_t pos_ = 0;
  int line_ = 1;
  Token token_;
  TWriter writer_;
  int depth_ = 0;
};

}  // namespace

void ObjectBinaryToText(TStream& input, TStream& output) { BinaryToText(input, output).Run(); }

void ObjectTextToBinary(TStream& input, TStream& output) {
  const int64_t size = input.Size() - input.Position();
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (!text.empty()) input.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  TextToBinary(std::move(text), output).Run();
}
