// engine/Internet.h: CInternetHandle, the owner of one HINTERNET.
#pragma once

#include <utility>
#include <windows.h>
#include <wininet.h>

class CInternetHandle
{
public:
    CInternetHandle() = default;
    explicit CInternetHandle(HINTERNET h) : m_h(h) {}
    ~CInternetHandle() { Close(); }
    CInternetHandle(const CInternetHandle &) = delete;
    CInternetHandle &operator=(const CInternetHandle &) = delete;
    CInternetHandle(CInternetHandle &&other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    CInternetHandle &operator=(CInternetHandle &&other) noexcept
    {
        if (this != &other)
        {
            Close();
            m_h = std::exchange(other.m_h, nullptr);
        }
        return *this;
    }

    void Close()
    {
        if (HINTERNET h = std::exchange(m_h, nullptr))
            InternetCloseHandle(h);
    }
    HINTERNET Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HINTERNET m_h = nullptr;
};
