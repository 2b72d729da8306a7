// The LZW code stream of one GIF image, 8-bit indices. giflib's encoder
// empties its string table only when the table is full (4096 codes); on
// noisy pictures with smooth parts (gradients quantised to 256 colours) a
// table emptied at 1024 codes keeps codes short and follows the picture, and
// makes frames about 5% smaller. giflib has no setting for this, so the code
// stream is made here and handed to giflib as raw blocks (EGifPutCodeNext);
// every decoder reads it, since emptying the table earlier is the encoder's
// choice in the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvcli {

// The code stream (clear code first, end code last, packed least
// significant bit first) of `count` indices with a minimum code size of 8,
// the table emptied whenever it reaches `tableLimit` codes (512 to 4096).
std::vector<uint8_t> LzwCodeStream(const uint8_t* indices, std::size_t count, int tableLimit);

// The smallest code stream of the table limits worth trying: 1024, 2048, 4096.
std::vector<uint8_t> SmallestLzwCodeStream(const uint8_t* indices, std::size_t count);

}  // namespace qvcli
