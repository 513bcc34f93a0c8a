// Event handlers of the HID layer: a callable bound to its receiver, or none.
//
// Two events have the "same code" when they call the same method (whatever the
// object) or were made from the same plain function; the controller's setters
// rely on that to decide which devices follow a handler change.
#pragma once

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <typeinfo>
#include <utility>

namespace kvm::hid {

template <class Sig>
class TEvent;

template <class R, class... A>
class TEvent<R(A...)> {
 public:
  TEvent() = default;
  TEvent(std::nullptr_t) {}

  // A method of an object: the code is the method, the receiver the object.
  template <class C>
  TEvent(C* receiver, R (C::*method)(A...)) : fn_([receiver, method](A... a) { return (receiver->*method)(a...); }) {
    static_assert(sizeof(method) <= sizeof(Code::bytes));
    code_.type = &typeid(C);
    std::memcpy(code_.bytes.data(), &method, sizeof(method));
  }

  // Any callable with an explicit code; events made with the same non-null
  // code compare as the same code. A null code gives a code of its own.
  TEvent(std::function<R(A...)> fn, const void* code = nullptr) : fn_(std::move(fn)) {
    if (!fn_) return;
    if (code == nullptr) {
      unique_ = std::make_shared<char>();
      code = unique_.get();
    }
    code_.type = &typeid(void);
    std::memcpy(code_.bytes.data(), &code, sizeof(code));
  }

  explicit operator bool() const { return static_cast<bool>(fn_); }
  R operator()(A... a) const { return fn_(std::forward<A>(a)...); }

  bool SameCode(const TEvent& other) const {
    if (!fn_ || !other.fn_) return !fn_ && !other.fn_;
    return *code_.type == *other.code_.type && code_.bytes == other.code_.bytes;
  }

 private:
  struct Code {
    const std::type_info* type = nullptr;
    std::array<unsigned char, 2 * sizeof(void*)> bytes{};
  };
  std::function<R(A...)> fn_;
  Code code_;
  std::shared_ptr<char> unique_;
};

}  // namespace kvm::hid
