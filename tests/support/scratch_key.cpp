#include "tests/support/scratch_key.h"

#include <stdexcept>

#include "platform/handles.h"

namespace {
int keyCounter = 0;
constexpr char kTestsKey[] = "Software\\CleanerTests";

UniqueHKey OpenForTest(HKEY root, const std::string& path) {
  UniqueHKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) return UniqueHKey();
  return key;
}
}  // namespace

ScratchKey::ScratchKey(const std::string& hint, HKEY root)
    : root_(root),
      path_(std::string(kTestsKey) + "\\" + hint + "_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(++keyCounter)) {
  RegDeleteTreeA(root_, path_.c_str());
  Create("");
}

ScratchKey::ScratchKey(HKEY root, const ScratchKey& twin) : root_(root), path_(twin.path_) {
  RegDeleteTreeA(root_, path_.c_str());
  Create("");
}

ScratchKey::~ScratchKey() {
  RegDeleteTreeA(root_, path_.c_str());
  RegDeleteKeyA(root_, kTestsKey);  // only when no other test's key is left in it
}

void ScratchKey::Create(const std::string& sub) const {
  UniqueHKey key;
  if (RegCreateKeyExA(root_, (*this / sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create key " + (*this / sub));
  }
}

bool ScratchKey::Exists(const std::string& sub) const { return OpenForTest(root_, *this / sub).Valid(); }

void ScratchKey::SetRaw(const std::string& sub, const std::string& name, DWORD type,
                        const std::string& bytes) const {
  Create(sub);
  const UniqueHKey key = OpenForTest(root_, *this / sub);
  if (RegSetValueExA(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot set value " + name);
  }
}

void ScratchKey::SetDword(const std::string& sub, const std::string& name, DWORD value) const {
  SetRaw(sub, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

bool ScratchKey::GetRaw(const std::string& sub, const std::string& name, DWORD* type, std::string* bytes) const {
  const UniqueHKey key = OpenForTest(root_, *this / sub);
  DWORD size = 0;
  if (!key || RegQueryValueExA(key.Get(), name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  bytes->assign(size, '\0');
  if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(bytes->data()), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  bytes->resize(size);
  return true;
}

bool ScratchKey::HasValue(const std::string& sub, const std::string& name) const {
  DWORD type = 0;
  std::string bytes;
  return GetRaw(sub, name, &type, &bytes);
}
