// Concrete report objects for the object-model tests, and a guard that puts
// the process-wide engine state and services back after each test.
#pragma once

#include <memory>
#include <string>

#include "report/fr_class.h"
#include "toolkit/core/text.h"

namespace class_test {

// The drawing and designer steps left empty, so the model itself can be driven.
template <class Base>
class Drawless : public Base {
 public:
  void PaintFill() override {}
  void PaintBorder() override {}
  void ApplyScale() override {}
  void RestoreGeometry() override {}
  void WriteXmlAttrs(TStream&) override {}
  void FillDesignMenu(TPopupMenu*) override {}
  TRect BuildClipRegion(bool) override { return {}; }
};

class TestView : public Drawless<TfrView> {
 public:
  explicit TestView(const char* prefix = "View") { NamePrefix = prefix; }
  void DrawTo(TCanvas*) override {}
};

class TestAddIn : public TestView {
 public:
  const char* ClassName() const override { return "TfrTestAddIn"; }
};

// A stretcheable object whose content needs a fixed height.
class TestStretcheable : public Drawless<TfrStretcheable> {
 public:
  int CalcHeight() override { return 37; }
  int MinimumHeight() override { return 5; }
  int RemainingHeight() override { return 0; }
  void DrawTo(TCanvas*) override {}
};

class TestControl : public Drawless<TfrControl> {
 public:
  void PaintHostedControl() override {}
};

// Restores the engine state and services a test changes; the test's own work
// runs in a context of its own.
class EngineGuard {
 public:
  EngineGuard() : state_(frEngine()) {}
  ~EngineGuard() {
    frEngine() = state_;
    frViewServices() = TfrViewServices();
  }
  EngineGuard(const EngineGuard&) = delete;
  EngineGuard& operator=(const EngineGuard&) = delete;

 private:
  TfrEngineState state_;
  TfrBuildScope scope_{nullptr};
};

// Bytes shown as hex for failure messages.
inline std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace class_test
