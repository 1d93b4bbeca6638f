#include "game/CCleanCacheDlg.h"
#include "res/resource.h"
CCleanCacheDlg::CCleanCacheDlg() : CDialogEx(IDD_CLEAN_CACHE, nullptr) {}
