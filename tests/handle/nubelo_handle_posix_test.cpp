// The handle against POSIX permissions, which Windows has no counterpart of.
#include "plugin/nubelo_handle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/failure.h"
#include "common/files.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

namespace nbl::plugin {
namespace {

TEST(HandleSetPath, AFileThatCouldNotBeReplacedFailsAndKeepsThePath) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.path() / "ro");
  std::ofstream(dir.path() / "ro" / "out.xml") << "old";
  ::chmod((dir.path() / "ro").c_str(), 0555);
  // A writable regular file in a folder without its owner write bit: refused, root included.
  const std::u16string path = dir.File("ro/out.xml");
  ASSERT_TRUE(files::ExistsN(path));
  testing::FakeUi ui;
  clsNubeloHandle h(ui);
  EXPECT_THROW(h.SetPath(path, vb::True), FileFailure);
  EXPECT_EQ(h.FilePath(), path);
  ::chmod((dir.path() / "ro").c_str(), 0755);
  EXPECT_EQ(testing::ReadFile(dir.path() / "ro" / "out.xml"), "old");
}

}  // namespace
}  // namespace nbl::plugin
