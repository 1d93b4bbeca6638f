#pragma once
// A static text or picture control bound to a member.
#include "framework/CWnd.h"

class CStatic : public CWnd {};
