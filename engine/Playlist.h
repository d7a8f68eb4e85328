// engine/Playlist.h: CPlaylist, one loaded HLS playlist: segment locations, key location, base.
#pragma once

#include "framework/String.h"
#include "framework/StringArray.h"

#include <vector>

class CPlaylist
{
public:
    CPlaylist();
    ~CPlaylist();

    // Empties every member, the IV data too.
    void Clear();
    // A copy of segment i; empty when i is out of range.
    CString GetSegment(int i) const;
    // The AES IV of segment i (16 bytes): the key line's IV attribute when it has one, otherwise
    // the media sequence number of segment i as a 128-bit big-endian number.
    std::vector<unsigned char> GetSegmentIV(int i) const;

    void SetBaseFromUrl(LPCTSTR pszUrl);
    void SetBaseFromPath(LPCTSTR pszPath);
    // FALSE when the file cannot be opened or read; the record is then left as it was.
    BOOL ParseFile(CString strPath);
    void ParseText(CString strText);
    // Empties the record and loads a local or web playlist, following nested playlists.
    // TRUE when at least one segment was found.
    BOOL Load(LPCTSTR pszLocation);

    CString m_strKeyUri;
    CStringArray m_arrSegments;
    CString m_strBase;
    CString m_strSubPlaylist;
    // Every local playlist file that was read, the nested ones too.
    CStringArray m_arrPlaylistFiles;

private:
    void ParseLine(CString strLine, bool bLocal, unsigned long long &nSequence);
    void ReadKeyLine(const CString &strLine, bool bLocal);
    void EndParse(int nSegmentsBefore, unsigned long long nSequence);

    bool m_bHasIV = false;
    unsigned char m_abIV[16] = {};
    unsigned long long m_nMediaSequence = 0;
};
