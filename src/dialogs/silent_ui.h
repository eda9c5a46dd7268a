// Windows that show nothing: for hosts without a user, benchmarks and `--ui none`.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "dialogs/windows.h"

namespace nbl::dialogs {

// The progress window keeps its state but draws nothing; the option dialogs
// answer Cancel. Each critical message goes to `onMessage`, or is dropped
// when it is empty.
std::unique_ptr<Ui> MakeSilentUi(std::function<void(std::u16string_view)> onMessage = {});

}  // namespace nbl::dialogs
