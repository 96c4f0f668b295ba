#pragma once

#include "keystroke/key_model.h"

namespace corvane {

// The key pair of a fixed KeyType case; layout-independent. `key` must not be `string`.
KeyCodePair fixedKeyCodePair(const KeyType& key);

}  // namespace corvane
