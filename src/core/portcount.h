// The gateway has eight ESPA ports, numbered 0 to 7.
#pragma once

namespace tw {

constexpr int kPortCount = 8;

}  // namespace tw
