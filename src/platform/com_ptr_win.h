// Owners for COM interface pointers, task-allocator memory and the OLE
// initialisation of a thread.
#pragma once

#include <objbase.h>
#include <ole2.h>

#include <utility>

namespace movix {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) noexcept : p_(p) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void reset() noexcept {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    // Queries another interface of the same object.
    template <typename U>
    ComPtr<U> As(REFIID iid) const {
        ComPtr<U> other;
        if (p_)
            p_->QueryInterface(iid, reinterpret_cast<void**>(other.put()));
        return other;
    }

private:
    T* p_ = nullptr;
};

// Memory handed out by the COM task allocator (item ID lists and the like).
template <typename T>
class CoTaskMemPtr {
public:
    explicit CoTaskMemPtr(T* p = nullptr) noexcept : p_(p) {}
    CoTaskMemPtr(const CoTaskMemPtr&) = delete;
    CoTaskMemPtr& operator=(const CoTaskMemPtr&) = delete;
    ~CoTaskMemPtr() { CoTaskMemFree(p_); }
    T* get() const noexcept { return p_; }

private:
    T* p_;
};

// OleInitialize for the current thread, undone when the scope ends.
class OleInit {
public:
    OleInit() noexcept : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
    OleInit(const OleInit&) = delete;
    OleInit& operator=(const OleInit&) = delete;
    ~OleInit() {
        if (ok_)
            OleUninitialize();
    }
    bool ok() const noexcept { return ok_; }

private:
    bool ok_;
};

}  // namespace movix
