// The piece decoder of JIS: its bytes through the JIS stage, which takes runs
// that need no stage straight to the text.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "encoding/piece_decoder.h"
#include "encoding/piece_decoder_detail.h"
#include "encoding/piece_stages.h"

namespace nbl::encoding::detail {

namespace {

class JisDecoder final : public PieceDecoder {
 public:
  JisDecoder() : jis_(Tables(), out_) {}

  char* Decode(const std::uint8_t* p, std::size_t n, char* w) override {
    out_.w = w;
    any_ = any_ || n > 0;
    std::size_t i = 0;
    while (i < n) {
      if (jis_.Steady()) i = jis_.Run(p, i, n);
      if (i < n) jis_.Put(p[i++]);
    }
    replaced_ = out_.replaced;
    return out_.w;
  }

  char* Finish(char* w) override {
    out_.w = w;
    if (!any_) Fail("empty input");
    jis_.End();
    replaced_ = out_.replaced;
    return out_.w;
  }

 private:
  Text out_;
  JisStage jis_;
  bool any_ = false;  // a byte was fed
};

}  // namespace

std::unique_ptr<PieceDecoder> MakeJisPieceDecoder() { return std::make_unique<JisDecoder>(); }

}  // namespace nbl::encoding::detail
