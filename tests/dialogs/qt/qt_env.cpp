// Starts Qt on the offscreen platform once for every test of this executable.
#include <gtest/gtest.h>

#include <QByteArray>

#include "dialogs/qt/qt_ui.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    nbl::dialogs::qt::EnsureQtApplication();
  }
};

[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

// Under LeakSanitizer: fontconfig keeps its pattern caches until exit by design;
// only leaks that pass through it are left out of the report.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
