package vesk

/*
#include <vesk.h>
*/
import "C"

import "fmt"

// hashArg is a HashLen-byte argument and its name, for messages.
type hashArg struct {
	name string
	hash []byte
}

// proofCall is the C form of a proof call: the first hash, the proof, the second hash.
type proofCall func(first *C.uint8_t, firstLen C.size_t, proof *C.uint8_t, proofLen C.size_t,
	second *C.uint8_t, secondLen C.size_t) C.VeskStatus

// verifyProof checks the two hashes a Merkle proof is verified with, in order, then the proof, and
// makes the call with the proof as the library takes it: its hashes back to back.
func verifyProof(op string, proof [][]byte, first, second hashArg, call proofCall) error {
	for _, arg := range []hashArg{first, second} {
		if err := exactly(op, arg.name, arg.hash, HashLen); err != nil {
			return err
		}
	}
	if len(proof) > maxProofHashes {
		return invalid(op, fmt.Sprintf("proof holds %d hashes, more than the %d allowed", len(proof), maxProofHashes))
	}
	joined := make([]byte, 0, len(proof)*HashLen)
	for i, node := range proof {
		if err := exactly(op, fmt.Sprintf("proof[%d]", i), node, HashLen); err != nil {
			return err
		}
		joined = append(joined, node...)
	}
	f, fn := bytesArg(first.hash)
	p, pn := bytesArg(joined)
	s, sn := bytesArg(second.hash)
	return check(op, call(f, fn, p, pn, s, sn))
}

// VerifyInclusion verifies a Merkle inclusion proof (an RFC 6962 tree) that leafHash sits at
// leafIndex in the tree of treeSize leaves whose root is root. proof is its hashes from the leaf
// upwards, at most MaxProof/HashLen of them; every hash is HashLen bytes. It returns nil when the
// proof holds.
//
// Errors: ErrAuthenticationFailed for every refusal of the proof; ErrInvalidArgument for hashes
// of the wrong length.
func VerifyInclusion(leafHash []byte, leafIndex, treeSize uint64, proof [][]byte, root []byte) error {
	return verifyProof("VerifyInclusion", proof, hashArg{"leafHash", leafHash}, hashArg{"root", root},
		func(l *C.uint8_t, ln C.size_t, p *C.uint8_t, pn C.size_t, r *C.uint8_t, rn C.size_t) C.VeskStatus {
			return C.vesk_transparency_verify_inclusion(l, ln, C.uint64_t(leafIndex), C.uint64_t(treeSize), p, pn, r, rn)
		})
}

// VerifyConsistency verifies a Merkle consistency proof that the tree of oldSize leaves (root
// oldRoot) is a prefix of the tree of newSize leaves (root newRoot). It returns nil when the
// proof holds.
//
// Errors: ErrAuthenticationFailed for every refusal of the proof; ErrInvalidArgument for hashes
// of the wrong length.
func VerifyConsistency(oldSize, newSize uint64, proof [][]byte, oldRoot, newRoot []byte) error {
	return verifyProof("VerifyConsistency", proof, hashArg{"oldRoot", oldRoot}, hashArg{"newRoot", newRoot},
		func(o *C.uint8_t, on C.size_t, p *C.uint8_t, pn C.size_t, n *C.uint8_t, nn C.size_t) C.VeskStatus {
			return C.vesk_transparency_verify_consistency(C.uint64_t(oldSize), C.uint64_t(newSize), p, pn, o, on, n, nn)
		})
}

// Checkpoint is what a verified checkpoint states about its log.
type Checkpoint struct {
	TreeSize uint64        // the number of leaves
	Root     [HashLen]byte // the root hash of the tree of TreeSize leaves
}

// VerifyCheckpoint verifies a signed checkpoint text (at most MaxCheckpoint bytes) of the log
// named origin under the log's verifying key, and returns its tree size and root.
//
// Errors: ErrNotKeyFile when the key does not decode; ErrMalformedInput for a malformed or
// non-canonical text; ErrAuthenticationFailed for another origin or no valid signature by the
// log's key.
func VerifyCheckpoint(checkpoint []byte, origin string, verifyingKey []byte) (Checkpoint, error) {
	const op = "VerifyCheckpoint"
	if err := firstError(atMost(op, "checkpoint", checkpoint, MaxCheckpoint), atMost(op, "verifyingKey", verifyingKey, MaxKeyData)); err != nil {
		return Checkpoint{}, err
	}
	var size C.uint64_t
	var root C.VeskBuffer
	c, cn := bytesArg(checkpoint)
	k, kn := bytesArg(verifyingKey)
	err := withText(op, "origin", origin, func(name *C.char) C.VeskStatus {
		return C.vesk_checkpoint_verify(c, cn, name, k, kn, &size, &root)
	})
	if err != nil {
		return Checkpoint{}, err
	}
	return Checkpoint{TreeSize: uint64(size), Root: takeHash(&root)}, nil
}
