// A C++ host built against an installed vesk, through vesk.hpp: a keypair, a container that
// decrypts to what went in, a signature that verifies, and a refusal that comes back as a status.
#include <cstdio>
#include <string>

#include <vesk.hpp>

namespace {

bool works() {
  auto pair = vesk::keypair_generate();
  if (!pair) return false;
  const std::string message = "sealed and opened through vesk.hpp";
  auto sealed = vesk::encrypt(message, pair->public_key.bytes(), 1, "note.txt");
  if (!sealed) return false;
  auto opened = vesk::decrypt(sealed->bytes(), pair->secret);
  if (!opened || opened->plaintext.text() != message || opened->file_name.text() != "note.txt") return false;

  auto identity = vesk::signing_identity_open(std::string(32, '\x07'));
  if (!identity) return false;
  auto key = vesk::signing_identity_public(*identity);
  const std::string context = "example.org notes";
  auto signature = vesk::sign_message(*identity, context, message);
  if (!key || !signature || !vesk::verify_message(key->bytes(), context, message, signature->bytes())) return false;
  return vesk::sign_message(*identity, std::string("VESK/x"), message).status() == VESK_INVALID_ARGUMENT;
}

}  // namespace

int main() {
  const bool ok = works();
  std::printf("vesk %s C++ consumer: %s\n", vesk::version(), ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
