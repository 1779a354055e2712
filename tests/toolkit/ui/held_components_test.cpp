// Components that hold others they do not own: when the held one goes, by
// whichever way, the holder reads nullptr, lets go of what it built around it
// and keeps working with a new one.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMenuBar>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/held.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

namespace {

using testsupport::Held;
using testsupport::THeldEnd;


QMenuBar* Bar(TForm& form) { return static_cast<QWidget*>(form.Widget())->findChild<QMenuBar*>(); }

TMainMenu* OneItemMenu(TComponent* owner, const char* caption) {
  auto* menu = new TMainMenu(owner);
  auto* item = new TMenuItem(menu);
  item->SetCaption(Utf8ToAnsi(caption));
  menu->Items().Add(item);
  return menu;
}

const testsupport::THolderCase kHolders[] = {
    {"a label's focus control",
     [](THeldEnd end) {
       TForm form(nullptr);
       TLabel label(&form);
       label.SetParent(&form);
       label.SetCaption(Utf8ToAnsi("&Имя:"));
       Held<TComboBox> edit(end, testsupport::ControlOn<TComboBox>(&form));
       label.SetFocusControl(edit.get());
       auto* widget = static_cast<QLabel*>(label.Widget());
       ASSERT_EQ(widget->textFormat(), Qt::PlainText);  // the library underlines for a buddy
       edit.End();
       EXPECT_EQ(label.FocusControl(), nullptr);
       // Without a control to focus the label draws the underline itself.
       EXPECT_EQ(widget->textFormat(), Qt::RichText);
       EXPECT_EQ(widget->buddy(), nullptr);
       TComboBox other(&form);
       other.SetParent(&form);
       label.SetFocusControl(&other);
       EXPECT_EQ(widget->textFormat(), Qt::PlainText);
       EXPECT_EQ(widget->buddy(), other.Widget());
     }},
    {"a form's menu",
     [](THeldEnd end) {
       TForm form(nullptr);
       Held<TMainMenu> menu(end, [](TComponent* owner) { return OneItemMenu(owner, "Файл"); });
       form.SetMenu(menu.get());
       ASSERT_NE(Bar(form), nullptr);
       menu.End();
       EXPECT_EQ(form.Menu(), nullptr);
       // The bar of the dead menu is gone with it.
       EXPECT_EQ(Bar(form), nullptr);
       TMainMenu* other = OneItemMenu(&form, "Справка");
       form.SetMenu(other);
       ASSERT_NE(Bar(form), nullptr);
       ASSERT_EQ(Bar(form)->actions().size(), 1);
       EXPECT_EQ(Bar(form)->actions()[0]->text(), "Справка");
     }},
    {"a popup menu's popup component",
     [](THeldEnd end) {
       TForm form(nullptr);
       TPopupMenu popup(&form);
       Held<TComboBox> edit(end, testsupport::ControlOn<TComboBox>(&form));
       popup.SetPopupComponent(edit.get());
       edit.End();
       EXPECT_EQ(popup.PopupComponent(), nullptr);
       TComboBox other(&form);
       popup.SetPopupComponent(&other);
       EXPECT_EQ(popup.PopupComponent(), &other);
     }},
};

TEST(HeldComponents, TheHolderForgetsWhatGoesAndKeepsWorking) {
  testsupport::RunForEveryEnd(kHolders);
}

}  // namespace
