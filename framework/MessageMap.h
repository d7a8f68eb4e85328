// framework/MessageMap.h: the typed, per-class message table and CCmdTarget, its owner.
//
// A class declares DECLARE_MESSAGE_MAP() in its body and lists its entries between
// BEGIN_MESSAGE_MAP(CClass, CBase) and END_MESSAGE_MAP() in its source, one line per handler.
// Each entry stores a small function that cracks wParam/lParam into the handler's typed arguments,
// so a handler with the wrong signature fails to compile instead of misbehaving at run time.
// The base class's table is searched after the class's own.
#pragma once

#include <windows.h>

class CCmdTarget;

// Cracks the message and calls the handler; returns the message result.
using AFX_PMSG_THUNK = LRESULT (*)(CCmdTarget *pTarget, UINT nMsg, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage; // a window message, or one of the pseudo messages below
    UINT nCode;    // WM_COMMAND: the notification code, or AFX_ANY_CODE
    UINT nID;      // WM_COMMAND: the first and last control/command id
    UINT nLastID;
    AFX_PMSG_THUNK pfnThunk; // null ends the table
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP *(*pfnGetBaseMap)(); // null for the root class
    const AFX_MSGMAP_ENTRY *lpEntries;
};

// Pseudo messages: values above the 16-bit message range, never sent to a window.
constexpr UINT AFX_WM_CTLCOLOR = 0x10000;         // every WM_CTLCOLOR* message
constexpr UINT AFX_WM_REFLECT_CTLCOLOR = 0x10001; // a parent's colour request handed back to the child
constexpr UINT AFX_ANY_CODE = 0xFFFFFFFF;

class CCmdTarget
{
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget &) = delete;
    CCmdTarget &operator=(const CCmdTarget &) = delete;

    virtual const AFX_MSGMAP *GetMessageMap() const;
    static const AFX_MSGMAP *GetThisMessageMap();

    // Finds the first entry (own table first, then the bases') that takes the message and calls it.
    // FALSE when no entry takes it; *pResult is then left untouched.
    BOOL DispatchMessageMap(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT *pResult);

    static bool EntryMatches(const AFX_MSGMAP_ENTRY &entry, UINT nMsg, WPARAM wParam);
};

namespace afx
{
// Command handlers: void Handler().
template <class T, auto pfn> LRESULT CommandThunk(CCmdTarget *p, UINT, WPARAM, LPARAM)
{
    (static_cast<T *>(p)->*pfn)();
    return 0;
}

// Raw window messages: LRESULT Handler(WPARAM, LPARAM).
template <class T, auto pfn> LRESULT MessageThunk(CCmdTarget *p, UINT, WPARAM wParam, LPARAM lParam)
{
    return static_cast<LRESULT>((static_cast<T *>(p)->*pfn)(wParam, lParam));
}
} // namespace afx

// clang-format off
#define DECLARE_MESSAGE_MAP()                                                            \
public:                                                                                  \
    static const AFX_MSGMAP *GetThisMessageMap();                                        \
    const AFX_MSGMAP *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
    const AFX_MSGMAP *theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
    const AFX_MSGMAP *theClass::GetThisMessageMap()                                      \
    {                                                                                    \
        using ThisClass = theClass;                                                      \
        using TheBaseClass = baseClass;                                                  \
        static_assert(sizeof(ThisClass) > 0 && sizeof(TheBaseClass) > 0, "complete");    \
        static const AFX_MSGMAP_ENTRY s_entries[] = {

#define END_MESSAGE_MAP()                                                                \
            {0, 0, 0, 0, nullptr}};                                                      \
        static const AFX_MSGMAP s_map = {&TheBaseClass::GetThisMessageMap, s_entries};   \
        return &s_map;                                                                   \
    }
// clang-format on

// WM_COMMAND from control or command nID with notification code wCode: void memberFxn().
#define ON_CONTROL(wCode, nID, memberFxn)                                                                    \
    {WM_COMMAND, UINT(wCode), UINT(nID), UINT(nID), &afx::CommandThunk<ThisClass, memberFxn>},
// WM_COMMAND with id nID and any notification code: void memberFxn().
#define ON_COMMAND(nID, memberFxn)                                                                           \
    {WM_COMMAND, AFX_ANY_CODE, UINT(nID), UINT(nID), &afx::CommandThunk<ThisClass, memberFxn>},
#define ON_COMMAND_RANGE(nFirst, nLast, memberFxn)                                                           \
    {WM_COMMAND, AFX_ANY_CODE, UINT(nFirst), UINT(nLast), &afx::CommandThunk<ThisClass, memberFxn>},
#define ON_BN_CLICKED(nID, memberFxn) ON_CONTROL(BN_CLICKED, nID, memberFxn)
#define ON_STN_CLICKED(nID, memberFxn) ON_CONTROL(STN_CLICKED, nID, memberFxn)
#define ON_EN_CHANGE(nID, memberFxn) ON_CONTROL(EN_CHANGE, nID, memberFxn)
// Any message: LRESULT memberFxn(WPARAM, LPARAM).
#define ON_MESSAGE(nMsg, memberFxn) {UINT(nMsg), 0, 0, 0, &afx::MessageThunk<ThisClass, memberFxn>},
