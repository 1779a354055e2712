// Every published ordinal property of every persistent class: the default
// it declares (which decides whether a form description stores the value)
// is the value a new object has. A default that differs would drop a value
// the user set to it, or store one nobody set.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_blob.h"
#include "grid/rs_calc.h"
#include "grid/rs_chk.h"
#include "grid/rs_ctl.h"
#include "grid/rs_date.h"
#include "grid/rs_db.h"
#include "grid/rs_edit.h"
#include "grid/rs_img.h"
#include "grid/rs_num.h"
#include "grid/rs_ods.h"
#include "grid/rs_pick.h"
#include "grid/rs_prop.h"
#include "grid/rs_prov.h"
#include "grid/rs_qrs.h"
#include "grid/rs_rtm.h"
#include "grid/rs_std.h"
#include "grid/rs_toolform.h"
#include "report/FR_DBSet.h"
#include "report/FR_DSet.h"
#include "report/fr_preview.h"
#include "report/fr_report.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/db/fields.h"
#include "toolkit/db/memdataset.h"

namespace published_defaults_test {

// The objects to check: a new instance of the class, and the objects it
// holds under its class-typed properties (search parameters, fonts), which
// cannot be made alone.
void CheckDefaults(const TPersistent* object, const std::string& path, std::set<const TPersistent*>& seen, int& checked) {
  if (object == nullptr || !seen.insert(object).second) return;
  for (const TPropInfo* prop : object->ClassInfo()->Properties()) {
    if (!prop->HasGetter()) continue;
    if (prop->Kind() == tkClass) {
      const TPersistent* held = GetObjectProp(object, *prop);
      // Held sub-objects only: a component property is a reference.
      if (held != nullptr && dynamic_cast<const TComponent*>(held) == nullptr)
        CheckDefaults(held, path + "." + std::string(prop->Name), seen, checked);
      continue;
    }
    if (!tkOrdinal.Contains(prop->Kind()) || !prop->Default) continue;
    ++checked;
    EXPECT_EQ(GetOrdProp(object, *prop), *prop->Default) << path << "." << prop->Name;
  }
}

TEST(PublishedDefaults, EveryOrdinalDefaultIsTheValueOfANewObject) {
  const TClassInfo* classes[] = {
      &TDbf::StaticClassInfo(),
      &TDbfIndexDef::StaticClassInfo(),
      &TDbfIndexDefs::StaticClassInfo(),
      &TDbfMasterLink::StaticClassInfo(),
      &TDBGridPro::StaticClassInfo(),
      &TgpAutoSearchParams::StaticClassInfo(),
      &TgpBaseDesigner::StaticClassInfo(),
      &TgpCellMargins::StaticClassInfo(),
      &TgpColumn::StaticClassInfo(),
      &TgpColumns::StaticClassInfo(),
      &TgpDBParams::StaticClassInfo(),
      &TgpDeleteParams::StaticClassInfo(),
      &TgpDesigner::StaticClassInfo(),
      &TgpFooterAttrs::StaticClassInfo(),
      &TDropDownBlobVision::StaticClassInfo(),
      &TTextVision::StaticClassInfo(),
      &TvpCalcEngine::StaticClassInfo(),
      &TCheckBoxVision::StaticClassInfo(),
      &TvpYearNaviObj::StaticClassInfo(),
      &TDateTimeVision::StaticClassInfo(),
      &TDateVision::StaticClassInfo(),
      &TTimeVision::StaticClassInfo(),
      &TvpNumericAccessor::StaticClassInfo(),
      &TvpUniValue::StaticClassInfo(),
      &TvpValueAccessor::StaticClassInfo(),
      &TDBProdiEdit::StaticClassInfo(),
      &TgpInplaceEdit::StaticClassInfo(),
      &TImageVision::StaticClassInfo(),
      &TNumericVision::StaticClassInfo(),
      &TObjDataSet::StaticClassInfo(),
      &TDataListVision::StaticClassInfo(),
      &TStandardVision::StaticClassInfo(),
      &TvpPropAccessor::StaticClassInfo(),
      &TodsObjectParams::StaticClassInfo(),
      &TvpQRSField::StaticClassInfo(),
      &TvpQRSFields::StaticClassInfo(),
      &TvpQuickRecordSet::StaticClassInfo(),
      &TChildFont::StaticClassInfo(),
      &TUniDataStorage::StaticClassInfo(),
      &TLiteDesigner::StaticClassInfo(),
      &TLiteVision::StaticClassInfo(),
      &TMemoVision::StaticClassInfo(),
      &TStandardDesigner::StaticClassInfo(),
      &TfvCurrentValue::StaticClassInfo(),
      &TgpFieldValue::StaticClassInfo(),
      &TvpFieldVision::StaticClassInfo(),
      &TToolFormVision::StaticClassInfo(),
      &TVisionToolForm::StaticClassInfo(),
      &TfrDBDataSet::StaticClassInfo(),
      &TfrDataset::StaticClassInfo(),
      &TfrUserDataset::StaticClassInfo(),
      &TfrPreviewForm::StaticClassInfo(),
      &TfrReport::StaticClassInfo(),
      &TStringList::StaticClassInfo(),
      &TStrings::StaticClassInfo(),
      &TCollection::StaticClassInfo(),
      &TCollectionItem::StaticClassInfo(),
      &TComponent::StaticClassInfo(),
      &TOwnedCollection::StaticClassInfo(),
      &TDataLink::StaticClassInfo(),
      &TDataSet::StaticClassInfo(),
      &TDataSource::StaticClassInfo(),
      &TAutoIncField::StaticClassInfo(),
      &TBCDField::StaticClassInfo(),
      &TBinaryField::StaticClassInfo(),
      &TBlobField::StaticClassInfo(),
      &TBooleanField::StaticClassInfo(),
      &TBytesField::StaticClassInfo(),
      &TCurrencyField::StaticClassInfo(),
      &TDateField::StaticClassInfo(),
      &TDateTimeField::StaticClassInfo(),
      &TField::StaticClassInfo(),
      &TFieldDef::StaticClassInfo(),
      &TFieldDefs::StaticClassInfo(),
      &TFloatField::StaticClassInfo(),
      &TGraphicField::StaticClassInfo(),
      &TIntegerField::StaticClassInfo(),
      &TLargeintField::StaticClassInfo(),
      &TMemoField::StaticClassInfo(),
      &TNumericField::StaticClassInfo(),
      &TSQLTimeStampField::StaticClassInfo(),
      &TSmallintField::StaticClassInfo(),
      &TStringField::StaticClassInfo(),
      &TTimeField::StaticClassInfo(),
      &TVarBytesField::StaticClassInfo(),
      &TWordField::StaticClassInfo(),
      &TMemDataSet::StaticClassInfo(),
  };
  int made = 0, checked = 0;
  for (const TClassInfo* cls : classes) {
    SCOPED_TRACE(std::string(cls->ClassName()));
    if (!cls->CanCreate()) continue;
    std::unique_ptr<TPersistent> object(cls->CreateInstance(nullptr));
    ++made;
    std::set<const TPersistent*> seen;
    CheckDefaults(object.get(), std::string(cls->ClassName()), seen, checked);
  }
  // The table reaches the library's components, not only a few of them.
  EXPECT_GE(made, 68);
  EXPECT_GE(checked, 400);
}

}  // namespace published_defaults_test
