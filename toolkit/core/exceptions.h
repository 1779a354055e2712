// The toolkit's exception classes. Every error the system raises derives from
// Exception; its message is Windows-1251 text, shown to the user as it is
// (converted to UTF-8 only at the screen edge).
#pragma once

#include <exception>
#include <string>

using AnsiString = std::string;  // Windows-1251 bytes; see toolkit/core/text.h

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message) : message_(std::move(message)) {}
  ~Exception() override = default;

  // The message text (1251).
  const AnsiString& Message() const { return message_; }
  void SetMessage(AnsiString message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

  // The class name as the error box and start-up failure text show it ("EConvertError").
  virtual const char* ClassName() const { return "Exception"; }

 private:
  AnsiString message_;
};

// Declares an exception class with its parent and the name it reports.
#define KIV7_DECLARE_EXCEPTION(Name, Parent)                         \
  class Name : public Parent {                                       \
   public:                                                           \
    using Parent::Parent;                                            \
    const char* ClassName() const override { return #Name; }         \
  }

// Silent: the message loop swallows it without a message box.
KIV7_DECLARE_EXCEPTION(EAbort, Exception);
KIV7_DECLARE_EXCEPTION(EConvertError, Exception);
KIV7_DECLARE_EXCEPTION(EInvalidOperation, Exception);
KIV7_DECLARE_EXCEPTION(EInvalidCast, Exception);
KIV7_DECLARE_EXCEPTION(EInvalidPointer, Exception);
KIV7_DECLARE_EXCEPTION(EOutOfMemory, Exception);
KIV7_DECLARE_EXCEPTION(EInOutError, Exception);
KIV7_DECLARE_EXCEPTION(EOSError, Exception);
KIV7_DECLARE_EXCEPTION(EExternal, Exception);
KIV7_DECLARE_EXCEPTION(EIntError, EExternal);
KIV7_DECLARE_EXCEPTION(EDivByZero, EIntError);
KIV7_DECLARE_EXCEPTION(ERangeError, EIntError);
KIV7_DECLARE_EXCEPTION(EIntOverflow, EIntError);
KIV7_DECLARE_EXCEPTION(EMathError, EExternal);
KIV7_DECLARE_EXCEPTION(EZeroDivide, EMathError);
KIV7_DECLARE_EXCEPTION(EOverflow, EMathError);
KIV7_DECLARE_EXCEPTION(EUnderflow, EMathError);
KIV7_DECLARE_EXCEPTION(EInvalidOp, EMathError);
KIV7_DECLARE_EXCEPTION(EVariantError, Exception);
KIV7_DECLARE_EXCEPTION(EListError, Exception);
KIV7_DECLARE_EXCEPTION(EStringListError, Exception);
KIV7_DECLARE_EXCEPTION(EStreamError, Exception);
KIV7_DECLARE_EXCEPTION(EFCreateError, EStreamError);
KIV7_DECLARE_EXCEPTION(EFOpenError, EStreamError);
KIV7_DECLARE_EXCEPTION(EReadError, EStreamError);
KIV7_DECLARE_EXCEPTION(EWriteError, EStreamError);
KIV7_DECLARE_EXCEPTION(EFilerError, EStreamError);
KIV7_DECLARE_EXCEPTION(EClassNotFound, EFilerError);
KIV7_DECLARE_EXCEPTION(EPropertyError, Exception);
// Text that a parser (component text, expressions) refuses.
KIV7_DECLARE_EXCEPTION(EParserError, Exception);
KIV7_DECLARE_EXCEPTION(EComponentError, Exception);
KIV7_DECLARE_EXCEPTION(EDatabaseError, Exception);
KIV7_DECLARE_EXCEPTION(EPrinter, Exception);

// Raises the silent EAbort ("Operation aborted").
[[noreturn]] void Abort();
