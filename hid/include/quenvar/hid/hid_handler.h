#pragma once
// Object-bound event handlers with an identity.
//
// The link decides several things by whether a newly assigned handler "differs"
// from the stored one, and compares handlers by their code only (the method or
// the lambda, not the object it is bound to). A std::function cannot be
// compared, so each handler carries a key that stands for its code:
//  - Bind(obj, &T::Method): the member-function pointer itself;
//  - a lambda or other callable: its type (the same lambda expression always
//    gives the same key, two different lambdas never do);
//  - an explicit key for callers that want to choose.

#include <array>
#include <cstddef>
#include <cstring>
#include <functional>
#include <type_traits>
#include <utility>

namespace quenvar {

struct THidHandlerKey {
  std::array<unsigned char, 2 * sizeof(void*)> FBytes{};

  bool operator==(const THidHandlerKey&) const = default;

  static THidHandlerKey FromPointer(const void* p) {
    THidHandlerKey k;
    std::memcpy(k.FBytes.data(), &p, sizeof p);
    return k;
  }
};

namespace hid_detail {
// One distinct address per callable type; a constant, never written.
template <class F>
inline constexpr char kTypeTag = 0;
}  // namespace hid_detail

template <class Sig>
class THidHandler;

template <class R, class... Args>
class THidHandler<R(Args...)> {
 public:
  using Function = std::function<R(Args...)>;

  THidHandler() = default;
  THidHandler(std::nullptr_t) {}  // NOLINT: "no handler"

  // A callable whose code identity is its type.
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, THidHandler> &&
                                              !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
                                              std::is_invocable_r_v<R, F&, Args...>>>
  THidHandler(F&& f)  // NOLINT: handlers are assigned from lambdas
      : FFn(std::forward<F>(f)),
        FKey(THidHandlerKey::FromPointer(&hid_detail::kTypeTag<std::decay_t<F>>)) {}

  // A callable with an explicit code identity and (optionally) the object it is bound to.
  THidHandler(Function f, THidHandlerKey key, const void* target = nullptr)
      : FFn(std::move(f)), FKey(key), FTarget(target) {}

  // obj->method, identified by the method (like a code address).
  template <class T, class M>
  static THidHandler Bind(T* obj, M method) {
    static_assert(std::is_member_function_pointer_v<M>);
    static_assert(sizeof(M) <= sizeof(THidHandlerKey::FBytes));
    THidHandlerKey k;
    std::memcpy(k.FBytes.data(), &method, sizeof method);
    return THidHandler(
        [obj, method](Args... a) -> R { return (obj->*method)(std::forward<Args>(a)...); }, k, obj);
  }

  bool IsSet() const { return static_cast<bool>(FFn); }
  explicit operator bool() const { return IsSet(); }

  // Same code (or both unset). The bound object does not take part.
  bool SameCode(const THidHandler& other) const {
    if (IsSet() != other.IsSet()) return false;
    return !IsSet() || FKey == other.FKey;
  }

  const THidHandlerKey& CodeKey() const { return FKey; }
  const void* BoundObject() const { return FTarget; }

  R operator()(Args... a) const { return FFn(std::forward<Args>(a)...); }

 private:
  Function FFn;
  THidHandlerKey FKey{};
  const void* FTarget = nullptr;
};

}  // namespace quenvar
