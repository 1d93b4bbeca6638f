#include "game/CCleanCacheDlg.h"

#include <process.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <cwchar>
#include <memory>

#include "framework/CDataExchange.h"
#include "framework/CWinApp.h"
#include "game/RealPath.h"
#include "res/resource.h"
#include "skin/UpdateLayeredTool.h"

namespace {

constexpr BYTE kVeilAlpha = 150;
constexpr COLORREF kStatusColor = RGB(0, 255, 255);

// Owners of the two kinds of enumeration handle the passes use.
struct FileFindCloser {
    void operator()(HANDLE h) const { ::FindClose(h); }
};
using CFileFind = std::unique_ptr<void, FileFindCloser>;
struct UrlCacheFindCloser {
    void operator()(HANDLE h) const { ::FindCloseUrlCache(h); }
};
using CUrlCacheFind = std::unique_ptr<void, UrlCacheFindCloser>;

bool IsSparedName(const wchar_t* name) {
    // Exact, case-sensitive: "Desktop.ini" is deleted like any other file.
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0 ||
           std::wcscmp(name, L"desktop.ini") == 0;
}

// Deletes one file with the shell, silently and not into the recycle bin.
void ShellDeleteFile(const std::wstring& path) {
    std::wstring from = path;
    from.push_back(L'\0');  // a list of one name: two terminating nulls
    SHFILEOPSTRUCTW op{};
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.pTo = nullptr;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;  // 0x0614
    op.lpszProgressTitle = nullptr;
    ::SHFileOperationW(&op);
}

}  // namespace

CCleanCacheDlg::CCleanCacheDlg()
    : CDialogEx(IDD_CLEAN_CACHE, nullptr),
      m_skin(*this, m_bmpBackground, {IDC_CLEAN_STATUS}, kStatusColor, &m_brKey) {}

CCleanCacheDlg::~CCleanCacheDlg() {
    m_bCancel = TRUE;
    // The worker may still be running when the modal loop ended early; it
    // uses this object until its last step, so wait for the thread to end.
    // Its work stops after the entry in hand (and the first entry of each
    // remaining step). It needs nothing from this thread to get there.
    if (m_worker) ::WaitForSingleObject(m_worker.Get(), INFINITE);
    if (m_hThread) {
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
}

const CMessageMap* CCleanCacheDlg::GetMessageMap() const {
    static const CMessageMap map(CDialogEx::GetMessageMap(), {
        msg::CtlColor(&CCleanCacheDlg::OnCtlColor),
        msg::Paint(&CCleanCacheDlg::OnPaint),
        msg::Raw(WM_CLEANCACHE_DONE, &CCleanCacheDlg::OnCleanDone),
    });
    return &map;
}

void CCleanCacheDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CLEAN_STATUS, m_stStatus);
}

BOOL CCleanCacheDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();

    m_bmpBackground.LoadBitmap(AfxGetResourceHandle(), IDB_CLEAN_BG);
    m_crKey = RGB(255, 0, 0);
    ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW, 0);  // no taskbar button
    m_brKey.CreateSolidBrush(m_crKey);

    const LONG exStyle = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_LAYERED)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    if (auto pfnSetAttributes = UpdateLayeredTool::GetInstance()->m_pfnSetLayeredWindowAttributes)
        pfnSetAttributes(m_hWnd, m_crKey, kVeilAlpha, LWA_COLORKEY | LWA_ALPHA);

    // The veil starts at the screen origin, with the size of the work area.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MoveWindow(0, 0, work.right - work.left, work.bottom - work.top, TRUE);
    m_stStatus.CenterWindow();

    StartWorker();
    return TRUE;
}

void CCleanCacheDlg::StartWorker() {
    m_hWndNotify = m_hWnd;
    unsigned threadId = 0;
    m_hThread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CCleanCacheDlg::CleanThreadProc, this, CREATE_SUSPENDED,
                       &threadId));
    if (m_hThread) {
        // Our own handle to wait on: the worker closes m_hThread when it ends.
        HANDLE own = nullptr;
        if (::DuplicateHandle(::GetCurrentProcess(), m_hThread, ::GetCurrentProcess(), &own,
                              SYNCHRONIZE, FALSE, 0))
            m_worker.Reset(own);
        if (m_worker && ::ResumeThread(m_hThread) != static_cast<DWORD>(-1)) return;

        // The thread exists but cannot be waited for or never runs: it has not
        // run a single instruction of ours, so it is ended before it does.
        ::TerminateThread(m_hThread, 0);
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_worker.Close();
    }
    // No worker: the veil ends at once, as if the work had been done.
    EndDialog(IDOK);
}

unsigned __stdcall CCleanCacheDlg::CleanThreadProc(void* pParam) {
    auto* pDlg = static_cast<CCleanCacheDlg*>(pParam);
    wchar_t folder[MAX_PATH];

    pDlg->DeleteUrlCacheEntries(1);
    if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COOKIES, FALSE))
        pDlg->DeleteFolderContents(folder);
    pDlg->DeleteUrlCacheEntries(0);
    if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_INTERNET_CACHE, FALSE))
        pDlg->DeleteFolderContents(folder);

    ::CloseHandle(pDlg->m_hThread);
    pDlg->m_hThread = nullptr;
    // The last access to the dialog. Should its window be gone already (the
    // modal loop ended early), the message goes nowhere.
    ::PostMessageW(pDlg->m_hWndNotify, WM_CLEANCACHE_DONE, 0, 0);
    return 0;
}

BOOL CCleanCacheDlg::DeleteUrlCacheEntries(int nKind) {
    DWORD size = 0;
    ::FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
    auto buffer = std::make_unique<BYTE[]>(size);
    CUrlCacheFind find(::FindFirstUrlCacheEntryW(
        nullptr, reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(buffer.get()), &size));
    if (!find) return FALSE;
    HANDLE hFind = find.get();

    for (;;) {
        const auto* entry = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.get());
        const bool isCookie = (entry->CacheEntryType & COOKIE_CACHE_ENTRY) != 0;
        if ((nKind == 1 && isCookie) || (nKind == 0 && !isCookie))
            ::DeleteUrlCacheEntryW(entry->lpszSourceUrlName);

        size = 0;
        ::FindNextUrlCacheEntryW(hFind, nullptr, &size);  // learns the size, stays in place
        buffer = std::make_unique<BYTE[]>(size);
        if (m_bCancel) break;
        if (!::FindNextUrlCacheEntryW(
                hFind, reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(buffer.get()), &size))
            break;
    }
    return TRUE;
}

BOOL CCleanCacheDlg::DeleteFolderContents(LPCWSTR pszFolder) {
    const std::wstring folder(pszFolder);
    // Every entry is checked against where the folder really lies; a folder
    // whose location cannot be told is left alone.
    const std::wstring realFolder = real_path::Resolve(folder);
    if (realFolder.empty()) return FALSE;
    return DeleteContents(folder, realFolder);
}

BOOL CCleanCacheDlg::DeleteContents(const std::wstring& folder, const std::wstring& realFolder) {
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((folder + L"\\*.*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return FALSE;
    CFileFind find(hFind);

    do {
        if (IsSparedName(fd.cFileName)) continue;
        const std::wstring path = folder + L"\\" + fd.cFileName;
        const std::wstring expected = real_path::Child(realFolder, fd.cFileName);
        const std::wstring real = real_path::Resolve(path);

        if (real.empty() || !real_path::Same(real, expected)) {
            // A junction or symbolic link (or an entry that cannot be opened):
            // whatever its path reaches lies elsewhere. Only the link itself
            // may go, and only where it can be removed without following it.
            real_path::RemoveLinkItself(path, expected);
        } else {
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);

            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteContents(path, real);
                ::RemoveDirectoryW(path.c_str());  // fails while a spared desktop.ini is inside
            } else {
                ShellDeleteFile(path);
            }
        }
        if (m_bCancel) break;
    } while (::FindNextFileW(hFind, &fd));
    return TRUE;
}

// Enter, Esc and closing the veil only ask the worker to stop; the veil ends
// when the worker says it has.
void CCleanCacheDlg::OnOK() { RequestStop(); }

void CCleanCacheDlg::OnCancel() { RequestStop(); }

void CCleanCacheDlg::RequestStop() { m_bCancel = TRUE; }

LRESULT CCleanCacheDlg::OnCleanDone(WPARAM, LPARAM) {
    EndDialog(IDOK);
    return 0;
}

HBRUSH CCleanCacheDlg::OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor) {
    return m_skin.OnCtlColor(hDC, hCtl, nCtlColor);
}

void CCleanCacheDlg::OnPaint() { m_skin.OnPaint(); }
