// Class descriptors of the data-set framework, so that ClassName() and the
// messages built from it (the Assign refusal, property errors) name the real
// class of a field, a definition, a data set, a source or a link.
#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/db/memdataset.h"

// A descriptor with no published properties of its own.
#define KIV7_PLAIN_CLASS_INFO(Class, Parent)                                                   \
  const TClassInfo& Class::StaticClassInfo() {                                                 \
    static const TClassInfo info(kClassOf<Class>, #Class, &Parent::StaticClassInfo());         \
    return info;                                                                               \
  }

const TClassInfo& TField::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TField>, "TField", &TComponent::StaticClassInfo(), [](TPublisher<TField>& p) {
    p.String("FieldName", &TField::FieldName, &TField::SetFieldName);
    p.Boolean("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly).WithDefault(0);
    p.Boolean("Required", &TField::Required, &TField::SetRequired).WithDefault(0);
    p.Boolean("Visible", &TField::Visible, &TField::SetVisible).WithDefault(1);
  });
  return info;
}

KIV7_PLAIN_CLASS_INFO(TStringField, TField)
KIV7_PLAIN_CLASS_INFO(TNumericField, TField)
KIV7_PLAIN_CLASS_INFO(TIntegerField, TNumericField)
KIV7_PLAIN_CLASS_INFO(TSmallintField, TIntegerField)
KIV7_PLAIN_CLASS_INFO(TWordField, TIntegerField)
KIV7_PLAIN_CLASS_INFO(TAutoIncField, TIntegerField)
KIV7_PLAIN_CLASS_INFO(TLargeintField, TNumericField)
KIV7_PLAIN_CLASS_INFO(TFloatField, TNumericField)
KIV7_PLAIN_CLASS_INFO(TCurrencyField, TFloatField)
KIV7_PLAIN_CLASS_INFO(TBCDField, TNumericField)
KIV7_PLAIN_CLASS_INFO(TBooleanField, TField)
KIV7_PLAIN_CLASS_INFO(TDateTimeField, TField)
KIV7_PLAIN_CLASS_INFO(TDateField, TDateTimeField)
KIV7_PLAIN_CLASS_INFO(TTimeField, TDateTimeField)
KIV7_PLAIN_CLASS_INFO(TSQLTimeStampField, TField)
KIV7_PLAIN_CLASS_INFO(TBinaryField, TField)
KIV7_PLAIN_CLASS_INFO(TBytesField, TBinaryField)
KIV7_PLAIN_CLASS_INFO(TVarBytesField, TBinaryField)
KIV7_PLAIN_CLASS_INFO(TBlobField, TField)
KIV7_PLAIN_CLASS_INFO(TMemoField, TBlobField)
KIV7_PLAIN_CLASS_INFO(TGraphicField, TBlobField)

KIV7_PLAIN_CLASS_INFO(TFieldDef, TCollectionItem)
KIV7_PLAIN_CLASS_INFO(TFieldDefs, TOwnedCollection)

KIV7_PLAIN_CLASS_INFO(TDataSet, TComponent)

const TTypeInfo& TypeInfoTDataSetNotifyEvent() {
  static const TTypeInfo t = TTypeInfo::Simple("TDataSetNotifyEvent", tkMethod);
  return t;
}

const TTypeInfo& TypeInfoTDataSetErrorEvent() {
  static const TTypeInfo t = TTypeInfo::Simple("TDataSetErrorEvent", tkMethod);
  return t;
}

KIV7_PLAIN_CLASS_INFO(TMemDataSet, TDataSet)

const TClassInfo& TDataSource::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TDataSource>, "TDataSource", &TComponent::StaticClassInfo(),
                               [](TPublisher<TDataSource>& p) {
                                 p.Boolean("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit).WithDefault(1);
                                 p.Boolean("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled).WithDefault(1);
                               });
  return info;
}

KIV7_PLAIN_CLASS_INFO(TDataLink, TPersistent)
