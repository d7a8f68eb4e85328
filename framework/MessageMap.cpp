// framework/MessageMap.cpp: the search through a class's message tables.
#include "framework/MessageMap.h"

const AFX_MSGMAP *CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP *CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY s_entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP s_map = {nullptr, s_entries};
    return &s_map;
}

bool CCmdTarget::EntryMatches(const AFX_MSGMAP_ENTRY &entry, UINT nMsg, WPARAM wParam)
{
    switch (entry.nMessage)
    {
    case WM_COMMAND: {
        if (nMsg != WM_COMMAND)
            return false;
        const UINT nCode = HIWORD(wParam);
        const UINT nID = LOWORD(wParam);
        return (entry.nCode == AFX_ANY_CODE || entry.nCode == nCode) && nID >= entry.nID &&
               nID <= entry.nLastID;
    }
    case AFX_WM_CTLCOLOR:
        return nMsg >= WM_CTLCOLORMSGBOX && nMsg <= WM_CTLCOLORSTATIC;
    default:
        return entry.nMessage == nMsg;
    }
}

BOOL CCmdTarget::DispatchMessageMap(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT *pResult)
{
    for (const AFX_MSGMAP *pMap = GetMessageMap(); pMap;
         pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr)
    {
        for (const AFX_MSGMAP_ENTRY *pEntry = pMap->lpEntries; pEntry->pfnThunk; ++pEntry)
        {
            if (EntryMatches(*pEntry, nMsg, wParam))
            {
                *pResult = pEntry->pfnThunk(this, nMsg, wParam, lParam);
                return TRUE;
            }
        }
    }
    return FALSE;
}
