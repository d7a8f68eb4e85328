// framework/StringArray.h: CStringArray, a growable array of CString.
#pragma once

#include "framework/String.h"

#include <stdexcept>
#include <vector>

class CStringArray
{
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    // Out-of-range indexes throw std::out_of_range, never touch memory.
    const CString &GetAt(int i) const { return m_items.at(size_t(i)); }
    CString &ElementAt(int i) { return m_items.at(size_t(i)); }
    const CString &operator[](int i) const { return GetAt(i); }
    CString &operator[](int i) { return ElementAt(i); }
    void SetAt(int i, const CString &s) { m_items.at(size_t(i)) = s; }

    int Add(const CString &s)
    {
        m_items.push_back(s);
        return GetUpperBound();
    }
    void SetAtGrow(int i, const CString &s)
    {
        if (i < 0)
            throw std::out_of_range("CStringArray::SetAtGrow");
        if (size_t(i) >= m_items.size())
            m_items.resize(size_t(i) + 1);
        m_items[size_t(i)] = s;
    }
    // Size 0 also releases the storage.
    void SetSize(int n)
    {
        if (n <= 0)
            std::vector<CString>().swap(m_items);
        else
            m_items.resize(size_t(n));
    }
    void RemoveAll() { SetSize(0); }
    void RemoveAt(int i, int nCount = 1)
    {
        if (i < 0 || nCount < 0 || size_t(i) + size_t(nCount) > m_items.size())
            throw std::out_of_range("CStringArray::RemoveAt");
        m_items.erase(m_items.begin() + i, m_items.begin() + i + nCount);
    }
    void InsertAt(int i, const CString &s)
    {
        if (i < 0 || size_t(i) > m_items.size())
            throw std::out_of_range("CStringArray::InsertAt");
        m_items.insert(m_items.begin() + i, s);
    }

private:
    std::vector<CString> m_items;
};
