// The grid library's components that hold others they do not own: when the
// held one goes, by whichever way, the holder reads nullptr, lets go of what
// it built around it and keeps working with a new one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <memory>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_edit.h"
#include "grid/rs_img.h"
#include "grid/rs_ods.h"
#include "grid/rs_toolform.h"
#include "tests/grid/grid_support.h"
#include "tests/support/held.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

namespace {

using grid_support::MemGrid;
using testsupport::Held;
using testsupport::THeldEnd;

TDataSource* SourceOver(TComponent* owner, TDataSet* data_set) {
  auto* source = new TDataSource(owner);
  source->SetDataSet(data_set);
  return source;
}

// A stand-alone edit over N of rows 1..3 on a shown form.
struct EditOnForm {
  EditOnForm() : rows(3) {
    form.SetBounds(20, 20, 200, 60);
    edit = new TDBProdiEdit(&form);
    edit->SetParent(&form);
    edit->SetBounds(5, 5, 120, 21);
    edit->SetDataField("N");
    form.Show();
    QApplication::processEvents();
  }
  ~EditOnForm() {
    delete edit;
  }
  MemGrid rows;
  TForm form{nullptr};
  TDBProdiEdit* edit;
};

const testsupport::THolderCase kHolders[] = {
    {"a grid's data source",
     [](THeldEnd end) {
       MemGrid g(5);
       Held<TDataSource> source(end, [&](TComponent* owner) { return SourceOver(owner, &g.ds); });
       g.grid->SetDataSource(source.get());
       ASSERT_TRUE(g.grid->LinkActive());
       source.End();
       EXPECT_EQ(g.grid->DataSource(), nullptr);
       EXPECT_FALSE(g.grid->LinkActive());
       g.grid->Widget()->grab();
       g.grid->SetDataSource(&g.source);
       EXPECT_TRUE(g.grid->LinkActive());
       EXPECT_EQ(g.Shown().front(), 1);
     }},
    {"a grid's title images",
     [](THeldEnd end) {
       MemGrid g(5);
       testsupport::ExpectForgottenAndReplaced<TDBGridPro, TImageList>(
           end, *g.grid, &TDBGridPro::TitleImages, &TDBGridPro::SetTitleImages,
           [](TComponent* owner) { return new TImageList(owner); });
       g.grid->Widget()->grab();
     }},
    {"an edit's data source",
     [](THeldEnd end) {
       EditOnForm f;
       Held<TDataSource> source(end, [&](TComponent* owner) { return SourceOver(owner, &f.rows.ds); });
       f.edit->SetDataSource(source.get());
       ASSERT_EQ(f.edit->Text(), "1");
       source.End();
       EXPECT_EQ(f.edit->DataSource(), nullptr);
       EXPECT_EQ(f.edit->Text(), "");
       f.edit->SetDataSource(&f.rows.source);
       EXPECT_EQ(f.edit->Text(), "1");
       f.edit->SetDataSource(nullptr);
     }},
    {"an edit's popup menu",
     [](THeldEnd end) {
       EditOnForm f;
       Held<TPopupMenu> menu(end, [](TComponent* owner) { return new TPopupMenu(owner); });
       f.edit->SetPopupMenu(menu.get());
       ASSERT_EQ(f.edit->TControl::PopupMenu(), menu.get());
       menu.End();
       EXPECT_EQ(f.edit->PopupMenu(), nullptr);
       EXPECT_EQ(f.edit->TControl::PopupMenu(), nullptr);
       TPopupMenu next(nullptr);
       f.edit->SetPopupMenu(&next);
       EXPECT_EQ(f.edit->TControl::PopupMenu(), &next);
       f.edit->SetPopupMenu(nullptr);
     }},
    {"a picture vision's popup menu",
     [](THeldEnd end) {
       EditOnForm f;
       TImageVision vision(nullptr);
       f.edit->SetVision(&vision);
       Held<TPopupMenu> menu(end, [](TComponent* owner) { return new TPopupMenu(owner); });
       vision.SetPopupMenu(menu.get());
       ASSERT_EQ(f.edit->TControl::PopupMenu(), menu.get());
       menu.End();
       EXPECT_EQ(vision.PopupMenu(), nullptr);
       // The edits of the vision fall back to the library's picture menu.
       EXPECT_EQ(f.edit->TControl::PopupMenu(), BlobContextMenu());
       f.edit->SetVision(nullptr);
     }},
    {"a vision's images",
     [](THeldEnd end) {
       TvpFieldVision vision(nullptr);
       testsupport::ExpectForgottenAndReplaced<TvpFieldVision, TImageList>(
           end, vision, &TvpFieldVision::Images, &TvpFieldVision::SetImages, [](TComponent* owner) {
             auto* list = new TImageList(owner);
             list->SetWidth(24);
             return list;
           });
     }},
    {"a tool form's active control and grid",
     [](THeldEnd end) {
       TForm owner(nullptr);
       TVisionToolForm form(&owner);
       Held<TButton> button(end, testsupport::ControlOn<TButton>(&form));
       Held<TDBGridPro> grid(end, testsupport::ControlOn<TDBGridPro>(&form));
       form.SetActiveControl(button.get());
       form.SetDataGrid(grid.get());
       button.End();
       grid.End();
       EXPECT_EQ(form.ActiveControl(), nullptr);
       EXPECT_EQ(form.DataGrid(), nullptr);
       TButton next(&owner);
       next.SetParent(&form);
       form.SetActiveControl(&next);
       EXPECT_EQ(form.ActiveControl(), &next);
     }},
    {"a vision's drop-down form",
     [](THeldEnd end) {
       TToolFormVision vision(nullptr);
       // Each form made is the one attached too, until it goes.
       testsupport::ExpectForgottenAndReplaced<TToolFormVision, TVisionToolForm>(
           end, vision, &TToolFormVision::DropDown, &TToolFormVision::SetDropDown, [&](TComponent* owner) {
             EXPECT_EQ(vision.AttachedToolForm(), nullptr);
             auto* form = new TVisionToolForm(owner);
             vision.AttachToolForm(form);
             return form;
           });
       EXPECT_EQ(vision.AttachedToolForm(), nullptr);
     }},
    {"an object data set's component",
     [](THeldEnd end) {
       TObjDataSet ds(nullptr);
       Held<TButton> shown(end, [](TComponent* owner) { return new TButton(owner); });
       ds.SetCompRef(shown.get());
       ASSERT_EQ(ds.Source(), shown.get());
       shown.End();
       EXPECT_EQ(ds.CompRef(), nullptr);
       EXPECT_EQ(ds.Source(), nullptr);
       TButton next(nullptr);
       ds.SetCompRef(&next);
       EXPECT_EQ(ds.Source(), &next);
       ds.SetCompRef(nullptr);
     }},
};

TEST(HeldComponents, TheGridLibrarysHoldersForgetWhatGoesAndKeepWorking) {
  testsupport::RunForEveryEnd(kHolders);
}

}  // namespace
