// Every size and cap the public header states, tied here, once, to the constant the library
// works with. A change on either side that breaks the agreement does not compile.
#include "core/crypto/hash.h"
#include "core/crypto/xwing.h"
#include "format/container.h"
#include "identity/epoch_binding.h"
#include "identity/recovery_binding.h"
#include "keyring/armor.h"
#include "keyring/identity_seed.h"
#include "keyring/key_file.h"
#include "sign/hybrid.h"
#include "sign/message.h"
#include "transparency/checkpoint/checkpoint.h"
#include "transparency/merkle.h"
#include "vesk.h"

namespace vesk {

static_assert(VESK_PUBLIC_KEY_LEN == crypto::kXWingPublicLen);
static_assert(VESK_SECRET_SEED_LEN == crypto::kXWingSeedLen && VESK_SECRET_SEED_LEN == sign::kIdentitySeedLen &&
              VESK_SECRET_SEED_LEN == keyring::kIdentitySeedLen);
static_assert(VESK_ARMOR_LEN == keyring::kArmorLen);
static_assert(VESK_KEY_FILE_LEN == keyring::kKeyFileV2Len);
static_assert(VESK_VERIFYING_KEY_LEN == sign::kVerifyingKeyLen);
static_assert(VESK_SIGNATURE_LEN == sign::kSignatureLen);
static_assert(VESK_HASH_LEN == crypto::kDigest32Len);
static_assert(VESK_RECOVERY_BINDING_LEN == identity::kRecoveryBindingLen);
static_assert(VESK_EPOCH_BINDING_LEN == identity::kEpochBindingLen);
static_assert(VESK_MAX_CONTEXT == sign::kMaxContextLen);
static_assert(VESK_MAX_PLAINTEXT == sign::kMaxMessageLen);
static_assert(VESK_MAX_RECIPIENTS == format::kMaxRecipients);
static_assert(VESK_MAX_PROOF == transparency::kMaxProofLen);
static_assert(VESK_MAX_CHECKPOINT == transparency::kMaxCheckpointLen);

// The decryption cap is the longest container the largest plaintext can give.
static_assert(VESK_MAX_CONTAINER == format::container_len(format::kMaxHeaderBlockLen, VESK_MAX_PLAINTEXT));

// The container format sits below the signing family and works the signature sizes out itself from
// the two primitives'; they must be the hybrid signature's.
static_assert(format::kSignatureKeyLen == sign::kVerifyingKeyLen && format::kSignatureLen == sign::kSignatureLen);

}  // namespace vesk
