#pragma once
// A method pointer: an object and one of its member functions (or a free
// function). Two events are equal when their code is the same, whatever the
// object, so that handler lists can be toggled by code.

#include <array>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

template <typename... Args>
class TEvent {
public:
    TEvent() = default;
    TEvent(std::nullptr_t) { }

    // The object may be of a class derived from the one declaring Method.
    template <typename T, typename C>
    TEvent(T* Object, void (C::*Method)(Args...))
    {
        static_assert(std::is_base_of_v<C, T>, "the object does not have this method");
        static_assert(sizeof(Method) <= CodeSize, "member function pointer too large");
        FObject = static_cast<C*>(Object);
        new (FCode.data()) decltype(Method)(Method);
        FThunk = &MethodThunk<C>;
    }

    TEvent(void (*Function)(Args...))
    {
        if (!Function)
            return;
        new (FCode.data()) decltype(Function)(Function);
        FThunk = &FunctionThunk;
    }

    bool Assigned() const { return FThunk != nullptr; }
    explicit operator bool() const { return Assigned(); }
    void* Object() const { return FObject; }

    void operator()(Args... A) const
    {
        if (FThunk)
            FThunk(FObject, FCode.data(), std::forward<Args>(A)...);
    }

    // Same code (class and member function, or function); the object is not compared.
    bool SameCode(const TEvent& Other) const { return FThunk == Other.FThunk && FCode == Other.FCode; }
    bool operator==(const TEvent& Other) const { return SameCode(Other); }
    bool operator!=(const TEvent& Other) const { return !SameCode(Other); }

private:
    static constexpr std::size_t CodeSize = 2 * sizeof(void*);
    using Thunk = void (*)(void*, const unsigned char*, Args...);

    // Not inlined: the compiler cannot follow a member pointer's virtual branch
    // into the caller and would warn about the object's (absent) vtable.
    template <typename T>
    [[gnu::noinline]] static void MethodThunk(void* Object, const unsigned char* Code, Args... A)
    {
        using Method = void (T::*)(Args...);
        const Method m = *std::launder(reinterpret_cast<const Method*>(Code));
        (static_cast<T*>(Object)->*m)(std::forward<Args>(A)...);
    }

    static void FunctionThunk(void*, const unsigned char* Code, Args... A)
    {
        using Function = void (*)(Args...);
        const Function f = *std::launder(reinterpret_cast<const Function*>(Code));
        f(std::forward<Args>(A)...);
    }

    void* FObject = nullptr;
    alignas(void*) std::array<unsigned char, CodeSize> FCode {};
    Thunk FThunk = nullptr;
};
