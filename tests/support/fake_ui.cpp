#include "support/fake_ui.h"

#include <memory>
#include <sstream>

#include "common/failure.h"
#include "common/text.h"

namespace nbl::testing {
namespace {

std::string Number(float f) {
  std::ostringstream out;
  out << f;
  return out.str();
}

}  // namespace

void FakeProgress::OnChange(Change what) {
  const State& s = state();
  std::string entry;
  switch (what) {
    case Change::Load:
      entry = "Load";
      break;
    case Change::Show:
      entry = "Show";
      break;
    case Change::Caption:
      entry = "Caption=" + text::ToUtf8(s.caption);
      break;
    case Change::TxtTitle:
      entry = "txtTitle=" + text::ToUtf8(s.txtTitle);
      break;
    case Change::TxtText:
      entry = "txtText=" + text::ToUtf8(s.txtText);
      break;
    case Change::BtnOkEnabled:
      entry = std::string("Btn_OK=") + (s.btnOkEnabled ? "1" : "0");
      break;
    case Change::ProgressMax:
      entry = "Max=" + Number(s.progressMax);
      break;
    case Change::ProgressValue:
      entry = "Value=" + Number(s.progressValue);
      break;
    case Change::Refresh:
      entry = "Refresh";
      break;
    case Change::Yield:
      entry = "Yield";
      break;
    case Change::Unload:
      entry = "Unload";
      break;
  }
  log.push_back(entry);
  if (what == Change::Yield && onYield) onYield();
  if (failOn && entry.rfind(*failOn, 0) == 0) {
    if (failAfter-- <= 0) throw WindowFailure("fake window refused: " + entry);
  }
}

void FakeOption::Show() {
  ++shown;
  IsOK = vb::False;
  if (answer) answer(*this);
}

void FakeOptionImport::Show() {
  ++shown;
  IsOK = vb::False;
  stTitleStTag = u"<H2>";
  stTitleEdTag = u"</H2>";
  if (answer) answer(*this);
}

}  // namespace nbl::testing
