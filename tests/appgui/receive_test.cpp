// The link dialog against the instrument simulator on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include <QEvent>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/receive.h"
#include "tests/app/link_support.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"

namespace receive_test {

using linktest::ScopedEnv;
using linktest::Simulator;
using testsupport::RecordingDialogs;

std::string U(const AnsiString& ansi) { return AnsiToUtf8(ansi); }

// Records the text a label shows each time it is painted.
class PaintedTexts : public QObject {
 public:
  PaintedTexts(TLabel* label) : label_(label) { label->Widget()->installEventFilter(this); }
  std::vector<std::string> texts;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const std::string text = U(label_->Caption());
      if (!text.empty() && (texts.empty() || texts.back() != text)) texts.push_back(text);
    }
    return false;
  }

 private:
  TLabel* label_;
};

struct LinkDialog : ::testing::Test {
  std::string dir = testsupport::TempDir("link_dialog");
  std::string sim_port = dir + "/instrument";
  ScopedEnv settings{"KIV7_SETTINGS", (dir + "/settings.ini").c_str()};
  std::unique_ptr<ScopedEnv> ports;
  RecordingDialogs dialogs;
  TForm2 form{nullptr};

  void SetUp() override {
    MapPorts("COM1=" + sim_port);
    form.AfterConstruction();
  }
  void MapPorts(const std::string& map) {
    ports.reset();
    ports = std::make_unique<ScopedEnv>("KIV7_PORTS", map.c_str());
  }
  // Shows the dialog modally, with a step run once it is up; a dialog
  // still up after max_ms is ended with -1 so a failure cannot hang.
  TModalResult Show(std::function<void()> step = nullptr, int max_ms = 15000) {
    if (step) QTimer::singleShot(200, form.Widget(), step);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [this] { form.SetModalResult(-1); });
    guard.start(max_ms);
    return form.ShowModal();
  }
};

TEST_F(LinkDialog, TransferEndsOkWithIdentityAndDump) {
  const std::string image = dir + "/image.bin";
  Simulator sim(sim_port, {"--press", "5", "--serial", "4321", "--subtype", "3", "--dump-out", image});
  ASSERT_TRUE(sim.Ready());
  EXPECT_FALSE(form.CheckBox1->Visible());
  EXPECT_EQ(Show(), mrOk);
  EXPECT_FALSE(form.CommPortDriver1->IsPortOpen());
  const TInstrumentIdentity& id = form.Identity();
  EXPECT_EQ(id.DeviceFamily, 18);
  EXPECT_EQ(id.DeviceSubtype, 3);
  EXPECT_EQ(id.DeviceSerial, 4321);
  EXPECT_EQ(id.DumpRecordCount, 5);
  const std::string expected = testsupport::ReadFile(image);
  ASSERT_FALSE(expected.empty());
  const TRecordDump& dump = form.Dump();
  EXPECT_EQ(std::string(dump.DumpBuffer.begin(), dump.DumpBuffer.begin() + dump.DumpLength), expected);
  // What the dialog showed.
  EXPECT_EQ(U(form.Caption()), "Прием данных");
  EXPECT_EQ(U(form.StaticText2->Caption()), "Идет прием информации ...");
  EXPECT_EQ(U(form.StaticText5->Caption()), "ЛИВТ-КС7");
  EXPECT_EQ(form.StaticText1->Caption(), id.FirmwareDate);
  EXPECT_EQ(form.StaticText1->Caption().size(), 8u);  // dd.mm.yy
  EXPECT_EQ(form.ProgressBar1->Position(), 100);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(dialogs.dialogs.empty());
}

TEST_F(LinkDialog, TheBarRisesWithTheCharactersOfTheAnnouncedRecords) {
  const struct {
    const char* what;
    std::vector<std::string> sim;
    size_t memory;  // bytes the records take
  } cases[] = {
      {"press records", {"--press", "60", "--subtype", "3"}, 60 * 22},
      {"acoustic and bending records", {"--acoustic", "40", "--bending", "30"}, 40 * 32 + 30 * 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.sim;
    // Pieces with pauses, so the transfer takes a while as over a real line.
    args.insert(args.end(), {"--chunk", "64", "--delay-ms", "20"});
    Simulator sim(sim_port, args);
    ASSERT_TRUE(sim.Ready());
    // Every position the bar takes, with the characters received by then.
    std::vector<std::pair<int, size_t>> steps;
    auto* bar = static_cast<QProgressBar*>(form.ProgressBar1->Widget());
    const auto connection = QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
      steps.emplace_back(value, form.Protocol().State().RxCount);
    });
    EXPECT_EQ(Show(), mrOk);
    QObject::disconnect(connection);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().first, 100);
    EXPECT_EQ(form.ProgressBar1->Position(), 100);
    const size_t reply_chars = 2 + 2 * c.memory;  // 'S', the pairs, 'P'
    int previous = 0, halfway = -1;
    size_t distinct = 0;
    for (size_t k = 0; k < steps.size(); ++k) {
      const auto [value, received] = steps[k];
      EXPECT_GE(value, previous) << "step " << k;
      if (value != previous) ++distinct;
      previous = value;
      if (k + 1 < steps.size()) {
        EXPECT_LT(value, 100) << "before the end marker";
        // The bar shows the share of the record characters received,
        // short of 100 until the end marker.
        if (value > 0) {
          EXPECT_NEAR(value, std::min(99.0, double(received - 1) * 100 / double(2 * c.memory)), 1.0);
        }
      }
      if (received <= reply_chars / 2) halfway = value;
    }
    EXPECT_LE(halfway, 50) << "half-way through the reply";
    // How far below half depends on how often the port is read, not on the bar.
    EXPECT_GE(halfway, 20) << "half-way through the reply";
    EXPECT_GE(distinct, 5u) << "the bar moves in many steps";
  }
}

TEST_F(LinkDialog, SilentInstrumentAndCancelEndWithThePortClosed) {
  Simulator sim(sim_port, {"--silent"});
  ASSERT_TRUE(sim.Ready());
  bool open_while_waiting = false;
  std::string status;
  EXPECT_EQ(Show([&] {
              open_while_waiting = form.CommPortDriver1->IsPortOpen();
              status = U(form.StaticText2->Caption());
              QTest::mouseClick(form.Button1->Widget(), Qt::LeftButton);
            }),
            mrCancel);
  EXPECT_TRUE(open_while_waiting);
  EXPECT_EQ(status, "Ожидание готовности прибора ...");
  EXPECT_FALSE(form.CommPortDriver1->IsPortOpen());
  EXPECT_FALSE(form.Timer1->Enabled());
  EXPECT_TRUE(dialogs.dialogs.empty());
}

TEST_F(LinkDialog, ClosingTheWindowByTheSystemClosesThePortToo) {
  Simulator sim(sim_port, {"--silent"});
  ASSERT_TRUE(sim.Ready());
  EXPECT_EQ(Show([&] { form.Widget()->close(); }), mrCancel);
  EXPECT_FALSE(form.CommPortDriver1->IsPortOpen());
  EXPECT_FALSE(form.Timer1->Enabled());
}

TEST_F(LinkDialog, EachFailureShowsItsMessageAndCancelsWithThePortClosed) {
  const struct {
    const char* what;
    std::vector<std::string> sim;  // empty: no instrument on any port
    const char* dialog;            // an error dialog's text, or
    const char* box;               // a message box's text (captioned "Ошибка")
  } cases[] = {
      {"wrong family", {"--family", "17", "--press", "2"}, "Вы подключили не тот прибор !", nullptr},
      {"no data", {"--press", "0"}, "Нет данных для передачи!", nullptr},
      {"no instrument anywhere",
       {},
       nullptr,
       "Прибор не обнаружен! Проверте правильность подключения согласно инструкции!"},
  };
  for (const auto& c : cases) {
    RecordingDialogs seen;
    std::unique_ptr<Simulator> sim;
    if (!c.sim.empty()) {
      MapPorts("COM1=" + sim_port);
      sim = std::make_unique<Simulator>(sim_port, c.sim);
      ASSERT_TRUE(sim->Ready()) << c.what;
    } else {
      MapPorts("COM1=" + dir + "/absent");
    }
    EXPECT_EQ(Show(), mrCancel) << c.what;
    EXPECT_FALSE(form.CommPortDriver1->IsPortOpen()) << c.what;
    if (c.dialog) {
      ASSERT_EQ(seen.dialogs.size(), 1u) << c.what;
      EXPECT_EQ(U(seen.dialogs[0].text), c.dialog) << c.what;
      EXPECT_EQ(seen.dialogs[0].type, mtError) << c.what;
      EXPECT_TRUE(seen.boxes.empty()) << c.what;
    } else {
      ASSERT_EQ(seen.boxes.size(), 1u) << c.what;
      EXPECT_EQ(U(seen.boxes[0].text), c.box) << c.what;
      EXPECT_EQ(U(seen.boxes[0].caption), "Ошибка") << c.what;
      EXPECT_EQ(seen.boxes[0].flags, MB_OK | MB_ICONERROR) << c.what;
      EXPECT_TRUE(seen.dialogs.empty()) << c.what;
      EXPECT_EQ(U(form.Label1->Caption()), "") << c.what;
    }
  }
}

TEST_F(LinkDialog, IsAFixedDialogWithItsLabelsAndNoCloseBox) {
  EXPECT_EQ(form.BorderStyle(), bsDialog);
  EXPECT_TRUE(form.BorderIcons().Empty());
  EXPECT_EQ(form.Position(), poDesktopCenter);
  // As the window system gets it: no button on the frame, a fixed size.
  const QWidget* window = form.Widget();
  EXPECT_FALSE(window->windowFlags() &
               (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const struct {
    TControl* control;
    const char* caption;
    TControl* parent;
  } texts[] = {
      {form.GroupBox1, "Информация", &form},
      {form.Label2, "Тип прибора:", form.GroupBox1},
      {form.Label3, "Версия ПО:", form.GroupBox1},
      {form.Label4, "Количество записей:", form.GroupBox1},
      {form.StaticText5, "", form.GroupBox1},
      {form.StaticText1, "", form.GroupBox1},
      {form.StaticText7, "", form.GroupBox1},
      {form.Button1, "Отмена", &form},
      {form.CheckBox1, "Сохранить двоичный файл", &form},
  };
  for (const auto& t : texts) {
    EXPECT_EQ(U(t.control->Caption()), t.caption) << t.control->Name();
    EXPECT_EQ(t.control->Parent(), t.parent) << t.control->Name();
  }
  EXPECT_TRUE(form.StaticText2->Font().Style().Contains(fsBold));
  EXPECT_EQ(form.ProgressBar1->Min(), 0);
  EXPECT_EQ(form.ProgressBar1->Max(), 100);
  EXPECT_TRUE(form.Button1->Cancel());
}

TEST_F(LinkDialog, PortSearchNamesThePortsInTurnUntilTheInstrumentAnswers) {
  Simulator sim(sim_port, {"--press", "2", "--subtype", "3"});
  ASSERT_TRUE(sim.Ready());
  MapPorts("COM1=" + dir + "/absent1;COM2=" + dir + "/absent2;COM3=" + sim_port);
  PaintedTexts search(form.Label1);
  EXPECT_EQ(Show(nullptr, 20000), mrOk);
  EXPECT_EQ(search.texts, (std::vector<std::string>{
                              "Поиск прибора....ComPort №\\\\.\\COM1",
                              "Поиск прибора....ComPort №\\\\.\\COM2",
                              "Поиск прибора....ComPort №\\\\.\\COM3",
                              "Прибор найден ComPort №\\\\.\\COM3",
                          }));
  EXPECT_EQ(form.Identity().DeviceFamily, 18);
}

}  // namespace receive_test
