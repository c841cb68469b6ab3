// The spent-nonce handle: the challenge family owns the entries, this record only carries them
// across the interface.
#pragma once

#include "sign/challenge/spent_nonces.h"
#include "vesk.h"

struct VeskSpentNonceSet {
  vesk::sign::SpentNonceSet set;
};
