#include "e2e/harness.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

namespace e2e {

namespace {

const DWORD kSendTimeout = 10000;   // no single message may take longer than this

std::string TempPath()
{
    char path[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, path);
    return path;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_NORMAL, kSendTimeout, &result))
        return 0;
    return (LRESULT)result;
}

struct MainSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMainProc(HWND hwnd, LPARAM lParam)
{
    MainSearch* f = (MainSearch*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == f->pid && ClassOf(hwnd) == "Player") {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct FindDialogs {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK FindDialogsProc(HWND hwnd, LPARAM lParam)
{
    FindDialogs* f = (FindDialogs*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == f->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770")
        f->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK FindEditProc(HWND hwnd, LPARAM lParam)
{
    HWND* edit = (HWND*)lParam;
    if (*edit)
        return FALSE;
    if (ClassOf(hwnd) == "Edit") {
        *edit = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::string Narrow(const wchar_t* text)
{
    char buf[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, NULL, NULL);
    return buf;
}

}  // namespace

// ---- Files ------------------------------------------------------------------------------

std::string ExeDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (slash)
        slash[1] = '\0';
    return path;
}

std::string SourcePath(const char* rel)
{
    // TEST_DATA_DIR is the host path of tests/data; Wine shows the host's root as drive Z.
    std::string data = TEST_DATA_DIR;
    std::string root = data.substr(0, data.rfind("/tests/data"));
    std::string path = "Z:" + root + "/" + rel;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

namespace {

std::string workDir;

void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + name + "\\");
            else
                DeleteFileA((dir + name).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

// The run's files go when the run ends.
class WorkDirCleaner : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (!workDir.empty())
            RemoveTree(workDir);
    }
};

const ::testing::Environment* const cleaner = ::testing::AddGlobalTestEnvironment(new WorkDirCleaner);

}  // namespace

// The run's folder holds its own temporary folder, which every player it starts shares: the
// playback copies a test finds there are its player's, never the temporary files of a test
// running beside it.
std::string WorkDir()
{
    std::string& dir = workDir;
    if (dir.empty()) {
        char name[64];
        snprintf(name, sizeof name, "zulin-e2e-%lu\\", (unsigned long)GetCurrentProcessId());
        dir = TempPath() + name;
        CreateDirectoryA(dir.c_str(), NULL);
        const std::string temp = dir + "temp\\";
        CreateDirectoryA(temp.c_str(), NULL);
        SetEnvironmentVariableA("TMP", temp.c_str());
        SetEnvironmentVariableA("TEMP", temp.c_str());
    }
    return dir;
}

namespace {
const std::string runFolder = WorkDir();   // before any player starts
}

std::string WriteWorkFile(const std::string& name, const Bytes& bytes)
{
    std::string path = WorkDir() + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, NULL);
        CloseHandle(h);
    }
    return path;
}

Bytes ReadBytes(const std::string& path)
{
    Bytes out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    DWORD size = GetFileSize(h, NULL);
    if (size != INVALID_FILE_SIZE && size > 0) {
        out.resize(size);
        DWORD got = 0;
        if (!ReadFile(h, out.data(), size, &got, NULL))
            got = 0;
        out.resize(got);
    }
    CloseHandle(h);
    return out;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::set<std::string> PlaybackCopies()
{
    std::set<std::string> found;
    std::string dir = TempPath();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "gy*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return found;
    do {
        found.insert(dir + fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

std::string UnixPath(const std::string& windowsPath)
{
    typedef char*(CDECL * UnixNameProc)(const wchar_t*);
    UnixNameProc proc = (UnixNameProc)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!proc)
        return "";
    wchar_t wide[MAX_PATH * 2] = L"";
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 2);
    char* unix = proc(wide);
    if (!unix)
        return "";
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

bool RunHost(const std::string& commandLine)
{
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!CreateProcessA(NULL, cmd.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    bool done = WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done;
}

RECT ChildRect(HWND child)
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(child, &r);
    MapWindowPoints(NULL, GetParent(child), (POINT*)&r, 2);
    return r;
}

// ---- Time -------------------------------------------------------------------------------

void Pause(DWORD ms)
{
    Sleep(ms);
}

int TenthsOf(const std::string& timeText)
{
    unsigned m = 0, s = 0, t = 0;
    char extra = 0;
    if (sscanf(timeText.c_str(), "%u:%2u.%1u%c", &m, &s, &t, &extra) != 3)
        return -1;
    return (int)((m * 60 + s) * 10 + t);
}

// ---- Windows ----------------------------------------------------------------------------

std::string WindowText(HWND hwnd)
{
    if (!hwnd)
        return "";
    char buf[1024] = "";
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buf, (LPARAM)buf, SMTO_NORMAL, kSendTimeout, &len))
        return "";
    return buf;
}

std::string ClassOf(HWND hwnd)
{
    char buf[64] = "";
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

// ---- Stand-in programs ------------------------------------------------------------------

namespace {

bool RunAsStandIn()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    char* name = strrchr(path, '\\');
    name = name ? name + 1 : path;
    if (lstrcmpiA(name, "sndvol.exe") != 0 && lstrcmpiA(name, "sndvol32.exe") != 0)
        return false;
    std::string note = std::string(path, name) + "started.txt";
    std::string text = std::string(name) + " started";
    HANDLE h = CreateFileA(note.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL);
        CloseHandle(h);
    }
    ExitProcess(0);
}

}  // namespace

const bool kStandIn = RunAsStandIn();

// ---- Player -----------------------------------------------------------------------------

Player::~Player()
{
    if (process_)
        Quit();
}

bool Player::Start(const std::string& tail, bool visibleWindow)
{
    return Launch(tail) && FindMain(10000, visibleWindow);
}

bool Player::Launch(const std::string& tail)
{
    std::string exe = program_.empty() ? ExeDir() + "player.exe" : program_;
    std::string cmd = "\"" + exe + "\"";
    if (!tail.empty())
        cmd += " " + tail;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    const char* folder = startFolder_.empty() ? NULL : startFolder_.c_str();
    if (!CreateProcessA(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL, folder, &si, &pi))
        return false;
    process_ = pi.hProcess;
    thread_ = pi.hThread;
    pid_ = pi.dwProcessId;
    WaitForInputIdle(process_, 10000);
    return true;
}

bool Player::FindMain(DWORD ms, bool visible)
{
    return WaitFor([&] {
        MainSearch f = {pid_, NULL};
        EnumWindows(FindMainProc, (LPARAM)&f);
        main_ = f.found;
        return main_ && (!visible || IsWindowVisible(main_));
    }, ms);
}

bool Player::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Player::WaitExit(DWORD ms)
{
    return process_ && WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
}

bool Player::Quit(DWORD ms)
{
    if (!process_)
        return true;
    bool clean = false;
    if (Running()) {
        DismissAll();
        PostMessageA(main_, WM_COMMAND, IDM_EXIT, 0);
        DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            if (WaitForSingleObject(process_, 100) == WAIT_OBJECT_0) {
                clean = true;
                break;
            }
            DismissAll();   // a box raised while closing must not keep it open
        }
        if (!clean) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 5000);
        }
    } else {
        clean = true;
    }
    CloseHandle(thread_);
    CloseHandle(process_);
    process_ = thread_ = NULL;
    main_ = NULL;
    return clean;
}

HWND Player::Toolbar() const
{
    return FindWindowExA(main_, NULL, TOOLBARCLASSNAMEA, NULL);
}

HWND Player::Slider() const
{
    return GetDlgItem(Toolbar(), 10);
}

HWND Player::TimeDisplay() const
{
    HWND tb = Toolbar();
    for (HWND h = FindWindowExA(tb, NULL, "Static", NULL); h; h = FindWindowExA(tb, h, "Static", NULL))
        if (GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)
            return h;
    return NULL;
}

HWND Player::TimeScale() const
{
    HWND tb = Toolbar();
    for (HWND h = FindWindowExA(tb, NULL, "Static", NULL); h; h = FindWindowExA(tb, h, "Static", NULL))
        if (!(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
            return h;
    return NULL;
}

HWND Player::Logo() const
{
    return GetDlgItem(Toolbar(), 400);
}

HWND Player::TrackView() const
{
    return FindWindowExA(main_, NULL, "TrackView", NULL);
}

HWND Player::Header() const
{
    return FindWindowExA(main_, NULL, "Static", NULL);
}

HWND Player::RowPane() const
{
    HWND view = TrackView();
    return view ? FindWindowExA(view, NULL, "TrackRows", NULL) : NULL;
}

HWND Player::Row(int column, int row) const
{
    HWND pane = RowPane();
    return pane ? GetDlgItem(pane, 100 * column + row) : NULL;
}

RECT Player::Rect() const
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(main_, &r);
    return r;
}

bool Player::ButtonEnabled(int id) const
{
    return Send(Toolbar(), TB_ISBUTTONENABLED, id, 0) != 0;
}

bool Player::ButtonChecked(int id) const
{
    return Send(Toolbar(), TB_ISBUTTONCHECKED, id, 0) != 0;
}

int Player::SliderPos() const
{
    return (int)Send(Slider(), TBM_GETPOS, 0, 0);
}

int Player::Rows() const
{
    int n = 0;
    while (n < 100 && Row(0, n))
        ++n;
    return n;
}

bool Player::Checked(HWND button) const
{
    return Send(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string Player::ComboText(HWND combo, int index) const
{
    // Under Wine an ANSI CB_GETLBTEXT from another process comes back as UTF-16.
    wchar_t buf[256] = L"";
    LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (len == CB_ERR || len >= 255)
        return "";
    SendMessageW(combo, CB_GETLBTEXT, index, (LPARAM)buf);
    return Narrow(buf);
}

int Player::ComboSel(HWND combo) const
{
    return (int)Send(combo, CB_GETCURSEL, 0, 0);
}

int Player::ComboCount(HWND combo) const
{
    return (int)Send(combo, CB_GETCOUNT, 0, 0);
}

int Player::TrackbarPos(HWND trackbar) const
{
    return (int)Send(trackbar, TBM_GETPOS, 0, 0);
}

bool Player::Command(int id)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(main_, WM_COMMAND, id, 0, SMTO_NORMAL, kSendTimeout, &result) != 0;
}

void Player::PostCommand(int id)
{
    PostMessageA(main_, WM_COMMAND, id, 0);
}

bool Player::Sync()
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeout, &result) != 0;
}

bool Player::ButtonCenter(int id, POINT* pt) const
{
    // TB_GETRECT writes through its pointer in the player's own memory.
    HWND tb = Toolbar();
    void* remote = VirtualAllocEx(process_, NULL, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return false;
    RECT r = {0, 0, 0, 0};
    bool ok = Send(tb, TB_GETRECT, id, (LPARAM)remote) != 0 &&
              ReadProcessMemory(process_, remote, &r, sizeof r, NULL);
    VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
    if (!ok)
        return false;
    pt->x = (r.left + r.right) / 2;
    pt->y = (r.top + r.bottom) / 2;
    return ClientToScreen(tb, pt) != 0;
}

namespace {

INPUT MouseAt(POINT pt, DWORD flags)
{
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INPUT in;
    ZeroMemory(&in, sizeof in);
    in.type = INPUT_MOUSE;
    in.mi.dx = (pt.x * 65535 + sw / 2) / (sw - 1);
    in.mi.dy = (pt.y * 65535 + sh / 2) / (sh - 1);
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flags;
    return in;
}

}  // namespace

bool Player::Hover(POINT screen)
{
    // The tooltip starts counting after the pointer rests; a second small move wakes it.
    INPUT first = MouseAt(screen, MOUSEEVENTF_MOVE);
    POINT nudge = {screen.x + 1, screen.y};
    INPUT second = MouseAt(nudge, MOUSEEVENTF_MOVE);
    if (SendInput(1, &first, sizeof(INPUT)) != 1)
        return false;
    Sleep(100);
    return SendInput(1, &second, sizeof(INPUT)) == 1;
}

namespace {

BOOL CALLBACK FindTooltipProc(HWND hwnd, LPARAM lParam)
{
    MainSearch* s = (MainSearch*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == TOOLTIPS_CLASSA) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string Player::Tooltip() const
{
    MainSearch search = {pid_, NULL};
    EnumWindows(FindTooltipProc, (LPARAM)&search);
    return search.found ? WindowText(search.found) : "";
}

bool Player::ClickAt(POINT screen)
{
    INPUT in[3] = {MouseAt(screen, MOUSEEVENTF_MOVE), MouseAt(screen, MOUSEEVENTF_LEFTDOWN),
                   MouseAt(screen, MOUSEEVENTF_LEFTUP)};
    return SendInput(3, in, sizeof(INPUT)) == 3;
}

bool Player::SliderChannel(RECT* screen) const
{
    // TBM_GETCHANNELRECT writes through its pointer in the player's own memory.
    HWND slider = Slider();
    void* remote = VirtualAllocEx(process_, NULL, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return false;
    Send(slider, TBM_GETCHANNELRECT, 0, (LPARAM)remote);
    bool ok = ReadProcessMemory(process_, remote, screen, sizeof *screen, NULL) != 0;
    VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
    return ok && MapWindowPoints(slider, NULL, (POINT*)screen, 2) != 0 && screen->right > screen->left;
}

bool Player::ClickToolbarButton(int id)
{
    // A real mouse click in the middle of the button, as the user gives it.
    POINT pt;
    if (!ButtonCenter(id, &pt))
        return false;
    INPUT in[3] = {MouseAt(pt, MOUSEEVENTF_MOVE), MouseAt(pt, MOUSEEVENTF_LEFTDOWN), MouseAt(pt, MOUSEEVENTF_LEFTUP)};
    bool wasChecked = ButtonChecked(id);
    if (SendInput(3, in, sizeof(INPUT)) != 3)
        return false;
    // A click on a check button shows in its state; give any button the same time.
    WaitFor([&] { return ButtonChecked(id) != wasChecked; }, 2000);
    return Sync();
}

bool Player::Click(HWND button)
{
    DWORD_PTR result = 0;
    return button && SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeout, &result) != 0 && Sync();
}

bool Player::SelectInstrument(int row, int program)
{
    // What a choice in the drop-down list does: the selection moves, the list tells its parent.
    HWND combo = Row(3, row);
    if (!combo)
        return false;
    Send(combo, CB_SETCURSEL, program, 0);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(TrackView(), WM_COMMAND, MAKEWPARAM(300 + row, CBN_SELCHANGE), (LPARAM)combo,
                               SMTO_NORMAL, kSendTimeout, &result) != 0;
}

bool Player::SetTrackbarEnd(HWND trackbar, int pos)
{
    // The thumb is moved, then an arrow key is let go: the trackbar ends the action
    // (TB_ENDTRACK) at the position it now has, as after a drag.
    if (!trackbar)
        return false;
    Send(trackbar, TBM_SETPOS, TRUE, pos);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(trackbar, WM_KEYUP, VK_RIGHT, 0xC0000001, SMTO_NORMAL, kSendTimeout, &result) != 0 &&
           Sync();
}

bool Player::TrackbarKey(HWND trackbar, int vk)
{
    DWORD_PTR result = 0;
    return trackbar &&
           SendMessageTimeoutA(trackbar, WM_KEYDOWN, vk, 0x00000001, SMTO_NORMAL, kSendTimeout, &result) != 0 &&
           SendMessageTimeoutA(trackbar, WM_KEYUP, vk, 0xC0000001, SMTO_NORMAL, kSendTimeout, &result) != 0 && Sync();
}

bool Player::Seek(int sliderPos)
{
    // Take hold with a key, place the thumb, let the key go: the release seeks.
    HWND slider = Slider();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(slider, WM_KEYDOWN, VK_SHIFT, 0x00000001, SMTO_NORMAL, kSendTimeout, &result))
        return false;
    Send(slider, TBM_SETPOS, TRUE, sliderPos);
    return SendMessageTimeoutA(slider, WM_KEYUP, VK_SHIFT, 0xC0000001, SMTO_NORMAL, kSendTimeout, &result) != 0 &&
           Sync();
}

bool Player::SetText(HWND hwnd, const std::string& text)
{
    DWORD_PTR result = 0;
    return hwnd && SendMessageTimeoutA(hwnd, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_NORMAL, kSendTimeout, &result) != 0;
}

std::vector<HWND> Player::Dialogs() const
{
    FindDialogs f;
    f.pid = pid_;
    EnumWindows(FindDialogsProc, (LPARAM)&f);
    return f.found;
}

HWND Player::WaitDialog(DWORD ms, const std::set<HWND>& known) const
{
    HWND found = NULL;
    WaitFor([&] {
        for (HWND h : Dialogs())
            if (!known.count(h)) {
                found = h;
                return true;
            }
        return !Running();
    }, ms);
    return found;
}

BoxInfo Player::Describe(HWND dialog) const
{
    BoxInfo box;
    box.hwnd = dialog;
    box.caption = WindowText(dialog);
    box.text = WindowText(GetDlgItem(dialog, 0xFFFF));
    HWND icon = GetDlgItem(dialog, 0x440);
    box.icon = icon && IsWindowVisible(icon) && Send(icon, STM_GETICON, 0, 0) != 0;
    box.owner = GetWindow(dialog, GW_OWNER);
    return box;
}

bool Player::WaitBox(BoxInfo* box, DWORD ms) const
{
    HWND h = WaitDialog(ms);
    if (!h)
        return false;
    *box = Describe(h);
    return true;
}

bool Player::WaitGone(HWND hwnd, DWORD ms) const
{
    return WaitFor([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, ms);
}

bool Player::Dismiss(HWND dialog, int id) const
{
    PostMessageA(dialog, WM_COMMAND, id, 0);
    return WaitGone(dialog, 5000);
}

int Player::DismissAll() const
{
    int n = 0;
    for (int round = 0; round < 20; ++round) {
        std::vector<HWND> open = Dialogs();
        if (open.empty())
            break;
        for (HWND h : open) {
            PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(h, WM_COMMAND, IDOK, 0);
            ++n;
        }
        Sleep(100);
    }
    return n;
}

bool Player::PressEscape(HWND dialog) const
{
    GUITHREADINFO gti;
    ZeroMemory(&gti, sizeof gti);
    gti.cbSize = sizeof gti;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &gti) && gti.hwndFocus &&
        (gti.hwndFocus == dialog || IsChild(dialog, gti.hwndFocus)))
        target = gti.hwndFocus;
    else if (GetDlgItem(dialog, IDOK))
        target = GetDlgItem(dialog, IDOK);
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    return true;
}

bool Player::FillFileDialog(HWND dialog, const std::string& path) const
{
    // The file name box: a ComboBoxEx (cmb13) with a combo box and an edit inside, or an
    // edit (edt1) in older dialogs.
    HWND edit = NULL;
    HWND combo = GetDlgItem(dialog, 0x47C);
    if (combo) {
        edit = ClassOf(combo) == "Edit" ? combo : NULL;
        EnumChildWindows(combo, FindEditProc, (LPARAM)&edit);
    }
    if (!edit)
        edit = GetDlgItem(dialog, 0x480);
    if (!edit)
        return false;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(edit, WM_SETTEXT, 0, (LPARAM)path.c_str(), SMTO_NORMAL, kSendTimeout, &result))
        return false;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    return true;
}

}  // namespace e2e
