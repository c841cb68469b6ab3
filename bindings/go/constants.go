package vesk

/*
#include <vesk.h>
*/
import "C"

// Sizes and caps, as vesk.h defines them.
const (
	PublicKeyLen       = 1216 // recipient public key: ML-KEM-768 key, then X25519 key
	SecretSeedLen      = 32   // recipient secret seed, identity seed
	ArmorLen           = 1667 // armored public key text
	KeyFileLen         = 95   // protected key file, as written
	VerifyingKeyLen    = 1984 // Ed25519 public key, then ML-DSA-65 public key
	SignatureLen       = 3373 // Ed25519 signature, then ML-DSA-65 signature
	HashLen            = 32   // SHA-256 digests: Merkle hashes, identity ids, heads
	RecoveryBindingLen = 5389
	EpochBindingLen    = 3509
	MaxKeyData         = 4096       // key files, seeds and verifying keys given as input
	MaxContext         = 4096       // caller-chosen signature context
	MaxChallenge       = 4096       // challenge
	MaxRecipients      = 64         // recipients of one container
	MaxPlaintext       = 1073741824 // 1 GiB: largest plaintext or signed message
	MaxContainer       = 1075134496 // largest container Decrypt accepts (what a MaxPlaintext plaintext makes)
	MaxLog             = 16777216   // identity logs and epoch chains: 16 MiB
	MaxProof           = 2048       // Merkle proofs: at most 64 hashes
	MaxCheckpoint      = 196608     // checkpoint text: 192 KiB
	maxProofHashes     = MaxProof / HashLen
)

// Each value above is the header's: a difference is an index out of range, which does not compile.
var (
	_ = [1]struct{}{}[PublicKeyLen-C.VESK_PUBLIC_KEY_LEN]
	_ = [1]struct{}{}[SecretSeedLen-C.VESK_SECRET_SEED_LEN]
	_ = [1]struct{}{}[ArmorLen-C.VESK_ARMOR_LEN]
	_ = [1]struct{}{}[KeyFileLen-C.VESK_KEY_FILE_LEN]
	_ = [1]struct{}{}[VerifyingKeyLen-C.VESK_VERIFYING_KEY_LEN]
	_ = [1]struct{}{}[SignatureLen-C.VESK_SIGNATURE_LEN]
	_ = [1]struct{}{}[HashLen-C.VESK_HASH_LEN]
	_ = [1]struct{}{}[RecoveryBindingLen-C.VESK_RECOVERY_BINDING_LEN]
	_ = [1]struct{}{}[EpochBindingLen-C.VESK_EPOCH_BINDING_LEN]
	_ = [1]struct{}{}[MaxKeyData-C.VESK_MAX_KEY_DATA]
	_ = [1]struct{}{}[MaxContext-C.VESK_MAX_CONTEXT]
	_ = [1]struct{}{}[MaxChallenge-C.VESK_MAX_CHALLENGE]
	_ = [1]struct{}{}[MaxRecipients-C.VESK_MAX_RECIPIENTS]
	_ = [1]struct{}{}[MaxPlaintext-C.VESK_MAX_PLAINTEXT]
	_ = [1]struct{}{}[MaxContainer-C.VESK_MAX_CONTAINER]
	_ = [1]struct{}{}[MaxLog-C.VESK_MAX_LOG]
	_ = [1]struct{}{}[MaxProof-C.VESK_MAX_PROOF]
	_ = [1]struct{}{}[MaxCheckpoint-C.VESK_MAX_CHECKPOINT]
)
