#pragma once
// A scriptable backend for what the simulated one cannot show: refused
// opens, failed identification, failed binding, duplicate scan entries.

#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quenvar/hid/hid_backend.h"

namespace quenvar::test {

class TFakeBackend : public IHidBackend {
 public:
  bool BindOk = true;
  int Binds = 0;
  int Unbinds = 0;
  std::vector<THidInterfaceInfo> Interfaces;
  std::map<std::string, THidAttributes> Attrs;  // by path
  std::map<std::string, int> ReadWriteErrno;    // path -> errno of a refused read-write open
  std::set<std::string> QueryRefused;           // query-only open fails too
  std::set<std::string> Unidentifiable;         // GetAttributes fails
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Writes;
  std::vector<std::string> Opens;  // "path:access"

  void Add(const std::string& id, std::uint16_t vid, std::uint16_t pid) {
    Interfaces.push_back({id, "/dev/" + id});
    Attrs["/dev/" + id] = THidAttributes{vid, pid, 1};
  }

  bool Bind() override {
    ++Binds;
    return BindOk;
  }
  void Unbind() override { ++Unbinds; }
  std::vector<THidInterfaceInfo> Scan() override { return Interfaces; }

  TResult<THidHandle> Open(const std::string& path, THidAccess access) override {
    std::lock_guard<std::mutex> g(Lock);
    static const char* const kNames[] = {"rw", "query", "read", "write"};
    Opens.push_back(path + ":" + kNames[static_cast<int>(access)]);
    if (access != THidAccess::QueryOnly && ReadWriteErrno.count(path))
      return TError{TErrorKind::Device, "refused", ReadWriteErrno[path]};
    if (access == THidAccess::QueryOnly && QueryRefused.count(path))
      return TError{TErrorKind::Device, "refused", EACCES};
    Paths[Next] = path;
    return THidHandle{Next++};
  }
  void Close(THidHandle h) override {
    std::lock_guard<std::mutex> g(Lock);
    Paths.erase(h.Value);
  }
  TResult<THidAttributes> GetAttributes(THidHandle h) override {
    const std::string path = PathOf(h);
    if (Unidentifiable.count(path)) return TError{TErrorKind::Device, "no", EIO};
    return Attrs.at(path);
  }
  TResult<THidCaps> GetCapabilities(THidHandle) override { return THidCaps{1, 0xFF00, 65, 65, 0}; }
  TResult<std::size_t> Write(THidHandle h, const void* data, std::size_t size) override {
    auto p = static_cast<const std::uint8_t*>(data);
    Writes.push_back({PathOf(h), std::vector<std::uint8_t>(p, p + size)});
    return size;
  }
  THidReadResult Read(THidHandle, std::uint8_t*, std::size_t,
                      std::chrono::milliseconds timeout) override {
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(5)));
    return THidReadResult{THidReadStatus::Timeout, 0, 0};
  }
  IHidChangeSource* ChangeSource() override { return nullptr; }

  int OpenHandles() {
    std::lock_guard<std::mutex> g(Lock);
    return static_cast<int>(Paths.size());
  }

 private:
  std::string PathOf(THidHandle h) {
    std::lock_guard<std::mutex> g(Lock);
    return Paths.count(h.Value) ? Paths[h.Value] : std::string();
  }
  std::mutex Lock;
  std::map<std::int64_t, std::string> Paths;
  std::int64_t Next = 1;
};

}  // namespace quenvar::test
