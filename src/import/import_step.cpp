#include "import/import_step.h"

#include <array>

#include "import/diary_lines.h"

namespace nbl::importing {

std::u16string_view TextOf(ImportStep step) {
  static constexpr std::array<std::u16string_view, 11> kTexts = {
      u"",
      u"日付読み込みエラー",
      u"インポート元ファイル読み込みエラー",
      u"漢字コード変換エラー",
      u"改行コード変換エラー",
      u"データ読み捨てエラー：",
      u"日付取得エラー <day>",
      u"タイトル取得エラー <day>",
      u"データ取得エラー <body>：",
      u"HTMLエンコードエラー：",
      u"データ格納エラー：",
  };
  return kTexts.at(static_cast<std::size_t>(step));
}

std::u16string StepInHand::Text() const {
  std::u16string out(TextOf(step));
  // A day is digits and slashes once it is read, and empty before.
  for (const char c : day) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

ImportFailure PlacedFailure(StepInHand at, std::size_t line, std::exception_ptr error) {
  ImportFailure failure{std::move(at), line, 0, error};
  try {
    std::rethrow_exception(error);
  } catch (const DiaryFormatFailure& fault) {
    failure.line = fault.line();
    failure.column = fault.column();
    failure.sharedLine = dynamic_cast<const SharedLineFailure*>(&fault) != nullptr;
  } catch (...) {
  }
  return failure;
}

}  // namespace nbl::importing
