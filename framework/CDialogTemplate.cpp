#include "framework/CDialogTemplate.h"

#include <objbase.h>
#include <cstring>

namespace {

// Reads a template field that is either 0x0000, 0xFFFF + ordinal, or a
// null-terminated UTF-16 string; returns the text (empty for ordinals).
class Reader {
public:
    Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    bool Ok() const { return m_ok; }
    size_t Pos() const { return m_pos; }
    void Seek(size_t pos) { m_pos = pos; if (pos > m_size) m_ok = false; }
    void AlignDword() { Seek((m_pos + 3) & ~size_t(3)); }
    template <class T> T Get() {
        T v{};
        if (m_pos + sizeof(T) > m_size) { m_ok = false; return v; }
        std::memcpy(&v, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return v;
    }
    std::wstring SzOrOrd(bool* isOrdinal = nullptr) {
        if (isOrdinal) *isOrdinal = false;
        WORD first = Get<WORD>();
        if (first == 0x0000) return {};
        if (first == 0xFFFF) {
            Get<WORD>();
            if (isOrdinal) *isOrdinal = true;
            return {};
        }
        std::wstring s(1, static_cast<wchar_t>(first));
        for (;;) {
            WORD c = Get<WORD>();
            if (!m_ok || c == 0) break;
            s.push_back(static_cast<wchar_t>(c));
        }
        return s;
    }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace

bool CDialogTemplate::Load(HINSTANCE hModule, UINT nID) {
    HRSRC hRes = FindResourceW(hModule, MAKEINTRESOURCEW(nID), MAKEINTRESOURCEW(5) /*RT_DIALOG*/);
    if (!hRes) return false;
    HGLOBAL hData = LoadResource(hModule, hRes);
    const BYTE* data = hData ? static_cast<const BYTE*>(LockResource(hData)) : nullptr;
    if (!data || !Parse(data, SizeofResource(hModule, hRes))) return false;
    if (HRSRC hInit = FindResourceW(hModule, MAKEINTRESOURCEW(nID), MAKEINTRESOURCEW(240))) {
        HGLOBAL hInitData = LoadResource(hModule, hInit);
        if (const void* p = hInitData ? LockResource(hInitData) : nullptr)
            ApplyInitData(static_cast<const BYTE*>(p), SizeofResource(hModule, hInit));
    }
    return true;
}

bool CDialogTemplate::Parse(const BYTE* data, size_t size) {
    m_stripped.clear();
    m_oleItems.clear();
    Reader r(data, size);
    const bool extended = size >= 4 && r.Get<WORD>() == 1 && r.Get<WORD>() == 0xFFFF;
    r.Seek(0);
    DWORD style = 0;
    size_t countOffset = 0;
    if (extended) {
        r.Get<WORD>(); r.Get<WORD>(); r.Get<DWORD>(); r.Get<DWORD>();  // ver, sig, help, exStyle
        style = r.Get<DWORD>();
        countOffset = r.Pos();
        r.Get<WORD>();
    } else {
        style = r.Get<DWORD>();
        r.Get<DWORD>();  // exStyle
        countOffset = r.Pos();
        r.Get<WORD>();
    }
    WORD count = 0;
    std::memcpy(&count, data + countOffset, sizeof(count));
    r.Get<short>(); r.Get<short>(); r.Get<short>(); r.Get<short>();  // x, y, cx, cy
    r.SzOrOrd();  // menu
    r.SzOrOrd();  // class
    r.SzOrOrd();  // title
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        r.Get<WORD>();  // point size
        if (extended) { r.Get<WORD>(); r.Get<BYTE>(); r.Get<BYTE>(); }
        r.SzOrOrd();    // face name
    }
    if (!r.Ok()) return false;
    r.AlignDword();
    const size_t headerSize = r.Pos();
    m_stripped.assign(data, data + headerSize);

    WORD kept = 0;
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        const size_t start = r.Pos();
        COleDialogItem item;
        short x, y, cx, cy;
        if (extended) {
            r.Get<DWORD>();  // help id
            item.exStyle = r.Get<DWORD>();
            item.style = r.Get<DWORD>();
            x = r.Get<short>(); y = r.Get<short>(); cx = r.Get<short>(); cy = r.Get<short>();
            item.id = r.Get<DWORD>();
        } else {
            item.style = r.Get<DWORD>();
            item.exStyle = r.Get<DWORD>();
            x = r.Get<short>(); y = r.Get<short>(); cx = r.Get<short>(); cy = r.Get<short>();
            item.id = r.Get<WORD>();
        }
        bool ordinalClass = false;
        std::wstring className = r.SzOrOrd(&ordinalClass);
        r.SzOrOrd();  // title
        WORD extra = r.Get<WORD>();
        r.Seek(r.Pos() + extra);
        if (!r.Ok()) return false;
        const size_t end = r.Pos();

        item.rcDialogUnits = {x, y, x + cx, y + cy};
        if (!ordinalClass && !className.empty() && className[0] == L'{' &&
            SUCCEEDED(CLSIDFromString(className.c_str(), &item.clsid))) {
            m_oleItems.push_back(std::move(item));
            continue;
        }
        while (m_stripped.size() % 4) m_stripped.push_back(0);
        m_stripped.insert(m_stripped.end(), data + start, data + end);
        ++kept;
    }
    std::memcpy(m_stripped.data() + countOffset, &kept, sizeof(kept));
    while (m_stripped.size() % 4) m_stripped.push_back(0);
    return true;
}

void CDialogTemplate::ApplyInitData(const BYTE* data, size_t size) {
    size_t pos = 0;
    while (pos + sizeof(WORD) <= size) {
        WORD id, message;
        DWORD length;
        std::memcpy(&id, data + pos, sizeof(id));
        if (id == 0 || pos + 8 > size) break;
        std::memcpy(&message, data + pos + 2, sizeof(message));
        std::memcpy(&length, data + pos + 4, sizeof(length));
        pos += 8;
        if (length > size - pos) break;  // truncated entry: ignore the rest
        if (message == kOccLoadFromStream) {
            for (COleDialogItem& item : m_oleItems) {
                if (item.id == id) {
                    item.persistedState.assign(data + pos, data + pos + length);
                    item.hasPersistedState = true;
                }
            }
        }
        pos += length;
    }
}
