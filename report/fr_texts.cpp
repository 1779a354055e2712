#include "report/fr_texts.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "toolkit/core/units.h"
#include "toolkit/core/text.h"

namespace {

// The string table, in UTF-8 here and handed out in Windows-1251. Sorted by number.
struct TextEntry {
  int number;
  const char* utf8;
};

constexpr TextEntry kTexts[] = {
    // Find dialog.
    {53000, "Поиск"},
    {53001, "Искать &текст"},
    {53002, "Опции поиска"},
    {53003, "Различать &регистр"},
    {53004, "Искать"},
    {53005, "С &начала"},
    {53006, "&Продолжить"},
    // Preview window.
    {53020, "По ширине страницы"},
    {53021, "Страница целиком"},
    {53022, "Две страницы"},
    {53023, "Выход"},
    {53024, "Масштаб"},
    {53025, "Открыть отчет"},
    {53026, "Сохранить отчет в файле"},
    {53027, "Печать отчета"},
    {53028, "Поиск"},
    {53032, "Показать справку"},
    // Print dialog.
    {53040, "Печать"},
    {53041, "Принтер"},
    {53042, "Свойства..."},
    {53043, "Копии"},
    {53044, "Страницы"},
    {53045, "&Все"},
    {53046, "&Текущая"},
    {53047, "&Номера:"},
    {53048, "Введите номера и/или диапазоны страниц, разделенные запятыми. Например, 1,3,5-12"},
    {53049, "&Имя:"},
    {53050, "Число &копий:"},
    {53051, "&Разобрать по копиям"},
    {53052, "Вывести на &печать:"},
    {53053, "Все страницы диапазона"},
    {53054, "Нечетные страницы"},
    {53055, "Четные страницы"},
    // Buttons, preview status, printers.
    {55000, "ОК"},
    {55001, "Отмена"},
    {55004, "Стр."},
    {55007, "Виртуальный принтер"},
    // Band types 0 to 22.
    {55077, "Report title"},
    {55078, "Report summary"},
    {55079, "Page header"},
    {55080, "Page footer"},
    {55081, "Master header"},
    {55082, "Master data"},
    {55083, "Master footer"},
    {55084, "Detail header"},
    {55085, "Detail data"},
    {55086, "Detail footer"},
    {55087, "Subdetail header"},
    {55088, "Subdetail data"},
    {55089, "Subdetail footer"},
    {55090, "Overlay"},
    {55091, "Column header"},
    {55092, "Column footer"},
    {55093, "Group header"},
    {55094, "Group footer"},
    {55095, "Cross header"},
    {55096, "Cross data"},
    {55097, "Cross footer"},
    {55098, "Child"},
    {55099, "Нет"},
    // Display-format categories, then 55150 + 5 x category + kind.
    {55130, "Текст"},
    {55131, "Число"},
    {55132, "Дата"},
    {55133, "Время"},
    {55134, "Логическая"},
    {55150, "[Нет]"},
    {55155, "1234,5"},
    {55156, "1234,50"},
    {55157, "1 234,5"},
    {55158, "1 234,50"},
    {55159, "Другой"},
    {55160, "05.11.98"},
    {55161, "05.11.1998"},
    {55162, "5 ноя 1998"},
    {55163, "5 ноября 1998"},
    {55164, "Другой"},
    {55165, "02:43:35"},
    {55166, "2:43:35"},
    {55167, "02:43"},
    {55168, "2:43"},
    {55169, "Другой"},
    // Boolean formats (also the kinds of category 4), date and time formats.
    {55170, "0;1"},
    {55171, "Нет;Да"},
    {55172, "_;x"},
    {55173, "False;True"},
    {55174, "Другой"},
    {55175, "dd.mm.yy"},
    {55176, "dd.mm.yyyy"},
    {55177, "d mmm yyyy"},
    {55178, "d mmmm yyyy"},
    {55179, "hh:nn:ss"},
    {55180, "h:nn:ss"},
    {55181, "hh:nn"},
    {55182, "h:nn"},
    // Build, errors, preview and printing.
    {55199, "из"},
    {55200, "Возникла ошибка при обработке выражения"},
    {55201, "Документ:"},
    {55202, "Объект:"},
    {55203, "Подготовка отчета"},
    {55204, "Выполняется 1-й проход:"},
    {55205, "Формируется страница:"},
    {55206, "Ошибка"},
    {55207, "Предварительный просмотр"},
    {55208, "Печатается страница:"},
    {55209, "Untitled"},
    {55210, "Возникли проблемы с настройкой выбранного принтера."},
    {55211, "Файл отчета"},
    {55334, "Шрифт..."},
    {55337, "204"},
    {55345, "Неверный FRF формат"},
    {55439, "Переменная не определена:"},
    // Function catalogue: the database category and FIELDISNULL's call form and explanation.
    {55620, "Базы данных"},
    {55621, "FIELDISNULL(<Поле>)/Возвращает True, если поле не содержит значения."},
    // Password dialog.
    {55653, "Пароль"},
    {55654, "Введите пароль для открытия отчета"},
    {55655, "Повторите пароль для проверки"},
};

// LoadText searches the table by halves.
constexpr bool SortedByNumber() {
  for (size_t i = 1; i < std::size(kTexts); ++i)
    if (kTexts[i - 1].number >= kTexts[i].number) return false;
  return true;
}
static_assert(SortedByNumber(), "the string table must be sorted by number, each number once");

// The loader's buffer holds 1024 bytes with the terminating zero.
constexpr size_t kMaxTextLength = 1023;

// Freed by the unit's shut-down only, never by static destruction.
std::unique_ptr<TfrLocale>& LocaleHolder() {
  static auto* holder = new std::unique_ptr<TfrLocale>();
  return *holder;
}

const char kLocaleUnit = 0;
void FinalizeLocaleUnit() { LocaleHolder().reset(); }

}  // namespace

AnsiString TfrLocale::LoadText(int number) const {
  const auto* it = std::lower_bound(std::begin(kTexts), std::end(kTexts), number,
                                    [](const TextEntry& e, int n) { return e.number < n; });
  if (it == std::end(kTexts) || it->number != number) return AnsiString();
  AnsiString text = Utf8ToAnsi(it->utf8);
  if (text.size() > kMaxTextLength) text.resize(kMaxTextLength);
  return text;
}

TfrLocale& LocaleObject() {
  auto& holder = LocaleHolder();
  if (!holder) {
    holder = std::make_unique<TfrLocale>();
    RegisterUnit(&kLocaleUnit, "fr_texts", FinalizeLocaleUnit);
  }
  return *holder;
}

// The locale alone: the report globals free it with themselves.
void FreeLocaleObject() { FinalizeLocaleUnit(); }
