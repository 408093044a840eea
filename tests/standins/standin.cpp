// One program that plays every outside tool the reflash script starts, chosen by the
// name it was started under (devcon64.exe, mode.exe, dfu-programmer.exe, ...). It acts
// out a small simulated keyboard described in standin-scenario.txt beside it and logs
// every call, with its exact arguments, to standin-log.txt beside it.
//
// Scenario lines (UTF-8, "#" starts a comment, fields are key=value):
//   device id=USB\VID_03EB&PID_2FF4\1 [passes=A-B] [leave=TOOL] [after=N]
//       a device instance seen by devcon during detection passes A to B (B may be
//       left out: "A-"); with leave=TOOL it is gone once TOOL has been started; with
//       after=N it shows only to devcon calls that N devcon calls came before
//   port name=COM3 [passes=A-B] [leave=TOOL]   a serial port listed by mode
//   exit tool=NAME code=N [arg=WORD] [passes=A-B]
//       the exit code of NAME when one of its arguments is WORD; the first line that
//       fits counts, the default is 0
//   say tool=NAME [arg=WORD] text=REST OF LINE   a line NAME prints to standard output
//   stop pass=N   sleep ends the command processor that starts pass N (default 40)
//
// A detection pass is counted by each start of sleep: the first pass is pass 1.
// Log lines, tab-separated: name, pass, exit code, current folder, command line, the
// arguments, for each argument the first bytes of the file it names ("-" for none),
// and the file that standard output goes to ("-" for none). Texts are UTF-8 written
// as "x" and hex digits, so every byte is kept.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring g_dir;   // folder of this program, with a trailing backslash
std::wstring g_name;  // name it was started under, lower case, without ".exe"
int g_pass = 0;

std::string to_utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring from_utf8(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
  return w;
}

std::wstring lower(std::wstring s) {
  for (auto& c : s) c = (wchar_t)towlower(c);
  return s;
}

bool read_file(const std::wstring& path, std::string& out, DWORD limit = 1u << 24) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  out.clear();
  char buf[4096];
  DWORD got = 0;
  while (out.size() < limit && ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
    out.append(buf, got);
  CloseHandle(h);
  if (out.size() > limit) out.resize(limit);
  return true;
}

bool write_file(const std::wstring& path, const std::string& data, bool append) {
  // The script runs its tools one after the other; the retry only covers a reader
  // (the test) that has the log open at that moment.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE h = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      Sleep(10);
      continue;
    }
    DWORD put = 0;
    BOOL ok = WriteFile(h, data.data(), (DWORD)data.size(), &put, nullptr);
    CloseHandle(h);
    return ok && put == data.size();
  }
  return false;
}

void out(const std::string& s) {
  DWORD put = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), (DWORD)s.size(), &put, nullptr);
}

void err(const std::string& s) {
  DWORD put = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), s.data(), (DWORD)s.size(), &put, nullptr);
}

std::string hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string h = "x";
  for (unsigned char c : s) {
    h += digits[c >> 4];
    h += digits[c & 15];
  }
  return h;
}

// --- the scenario -------------------------------------------------------------

struct Line {
  std::wstring kind;
  std::vector<std::pair<std::wstring, std::wstring>> fields;
  std::wstring get(const wchar_t* key, const wchar_t* fallback = L"") const {
    for (auto& f : fields)
      if (f.first == key) return f.second;
    return fallback;
  }
  bool has(const wchar_t* key) const {
    for (auto& f : fields)
      if (f.first == key) return true;
    return false;
  }
};

std::vector<Line> g_scenario;

void load_scenario() {
  std::string raw;
  if (!read_file(g_dir + L"standin-scenario.txt", raw)) return;
  std::wstring text = from_utf8(raw);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring row = text.substr(pos, end - pos);
    pos = end + 1;
    if (!row.empty() && row.back() == L'\r') row.pop_back();
    size_t i = row.find_first_not_of(L" \t");
    if (i == std::wstring::npos || row[i] == L'#') continue;
    Line line;
    size_t j = row.find_first_of(L" \t", i);
    line.kind = row.substr(i, j == std::wstring::npos ? std::wstring::npos : j - i);
    while (j != std::wstring::npos) {
      i = row.find_first_not_of(L" \t", j);
      if (i == std::wstring::npos) break;
      if (row.compare(i, 5, L"text=") == 0) {  // takes the rest of the line
        line.fields.push_back({L"text", row.substr(i + 5)});
        break;
      }
      j = row.find_first_of(L" \t", i);
      std::wstring field = row.substr(i, j == std::wstring::npos ? std::wstring::npos : j - i);
      size_t eq = field.find(L'=');
      if (eq == std::wstring::npos)
        line.fields.push_back({field, L""});
      else
        line.fields.push_back({field.substr(0, eq), field.substr(eq + 1)});
    }
    g_scenario.push_back(line);
  }
}

// "A-B", "A-" or "A"; no field means every pass.
bool in_passes(const Line& line) {
  if (!line.has(L"passes")) return true;
  std::wstring p = line.get(L"passes");
  size_t dash = p.find(L'-');
  int from = _wtoi(p.substr(0, dash).c_str());
  int to = from;
  if (dash != std::wstring::npos) to = dash + 1 < p.size() ? _wtoi(p.c_str() + dash + 1) : 1 << 30;
  return g_pass >= from && g_pass <= to;
}

std::string g_log;  // the log as it was when this program started
bool g_log_read = false;

// How many times TOOL was started before this program.
int started_before(const std::wstring& tool) {
  if (!g_log_read) {
    read_file(g_dir + L"standin-log.txt", g_log);
    g_log_read = true;
  }
  std::string prefix = to_utf8(lower(tool)) + "\t";
  int count = 0;
  size_t pos = 0;
  while (pos < g_log.size()) {
    if (g_log.compare(pos, prefix.size(), prefix) == 0) ++count;
    size_t nl = g_log.find('\n', pos);
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return count;
}

bool present(const Line& line) {
  if (!in_passes(line)) return false;
  if (line.has(L"leave") && started_before(line.get(L"leave")) > 0) return false;
  if (line.has(L"after") &&
      started_before(L"devcon32") + started_before(L"devcon64") < _wtoi(line.get(L"after").c_str()))
    return false;
  return true;
}

bool arg_fits(const Line& line, const std::vector<std::wstring>& args) {
  if (!line.has(L"arg")) return true;
  std::wstring word = line.get(L"arg");
  for (size_t i = 1; i < args.size(); ++i)
    if (args[i] == word) return true;
  return false;
}

bool for_me(const Line& line) { return lower(line.get(L"tool")) == g_name; }

int exit_code(const std::vector<std::wstring>& args) {
  for (auto& line : g_scenario)
    if (line.kind == L"exit" && for_me(line) && arg_fits(line, args) && in_passes(line))
      return _wtoi(line.get(L"code").c_str());
  return 0;
}

void say(const std::vector<std::wstring>& args) {
  for (auto& line : g_scenario)
    if (line.kind == L"say" && for_me(line) && arg_fits(line, args))
      out(to_utf8(line.get(L"text")) + "\r\n");
}

// The command line split as C programs and CommandLineToArgvW split it (shell32 is not
// loaded for it: that would make every start of a stand-in slower).
std::vector<std::wstring> split_command_line(const wchar_t* p) {
  std::vector<std::wstring> args;
  std::wstring a;
  if (*p == L'"') {  // the program name: quotes only, no escapes
    for (++p; *p && *p != L'"'; ++p) a += *p;
    if (*p) ++p;
  } else {
    for (; *p && *p != L' ' && *p != L'\t'; ++p) a += *p;
  }
  args.push_back(a);
  for (;;) {
    while (*p == L' ' || *p == L'\t') ++p;
    if (!*p) break;
    a.clear();
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t'));) {
      size_t slashes = 0;
      while (*p == L'\\') ++slashes, ++p;
      if (*p == L'"') {
        a.append(slashes / 2, L'\\');
        if (slashes % 2) {
          a += L'"';
        } else if (quoted && p[1] == L'"') {
          a += L'"';
          ++p;
        } else {
          quoted = !quoted;
        }
        ++p;
      } else {
        a.append(slashes, L'\\');
        if (*p && (quoted || (*p != L' ' && *p != L'\t'))) a += *p++;
      }
    }
    args.push_back(a);
  }
  return args;
}

// --- pass counter ----------------------------------------------------------------

int read_pass() {
  std::string s;
  if (!read_file(g_dir + L"standin-state.txt", s)) return 0;
  return atoi(s.c_str());
}

// --- the tools ---------------------------------------------------------------------

// Case-insensitive match with "*" for any rest and "?" for one character.
bool wildcard(const wchar_t* pat, const wchar_t* s) {
  if (*pat == 0) return *s == 0;
  if (*pat == L'*') return wildcard(pat + 1, s) || (*s && wildcard(pat, s + 1));
  if (*s == 0) return false;
  if (*pat != L'?' && towupper(*pat) != towupper(*s)) return false;
  return wildcard(pat + 1, s + 1);
}

void devcon(const std::vector<std::wstring>& args) {
  if (args.size() < 3 || lower(args[1]) != L"find") {
    out("devcon stand-in: only \"find @PATTERN\" is known\r\n");
    return;
  }
  std::wstring pattern = args[2];
  if (!pattern.empty() && pattern[0] == L'@') pattern.erase(0, 1);
  int found = 0;
  for (auto& line : g_scenario) {
    if (line.kind != L"device" || !present(line)) continue;
    std::wstring id = line.get(L"id");
    if (!wildcard(pattern.c_str(), id.c_str())) continue;
    out(to_utf8(id) + "                : Simulated bootloader\r\n");
    ++found;
  }
  if (found)
    out(std::to_string(found) + " matching device(s) found.\r\n");
  else
    out("No matching devices found.\r\n");
}

void mode() {
  for (auto& line : g_scenario) {
    if (line.kind != L"port" || !present(line)) continue;
    std::string name = to_utf8(line.get(L"name"));
    out("\r\nStatus for device " + name + ":\r\n" + std::string(19 + name.size(), '-') +
        "\r\n    Baud:            9600\r\n    Parity:          None\r\n"
        "    Data Bits:       8\r\n    Stop Bits:       1\r\n    Timeout:         OFF\r\n"
        "    XON/XOFF:        OFF\r\n    CTS handshaking: OFF\r\n    DSR handshaking: OFF\r\n"
        "    DSR sensitivity: OFF\r\n    DTR circuit:     ON\r\n    RTS circuit:     ON\r\n");
  }
  out("\r\nStatus for device CON:\r\n----------------------\r\n    Lines:          300\r\n"
      "    Columns:        80\r\n    Keyboard rate:  31\r\n    Keyboard delay: 1\r\n"
      "    Code page:      936\r\n\r\n");
}

// Ends the command processor that started this program: the test's way out of the
// endless detection loop.
void end_parent(int code) {
  DWORD me = GetCurrentProcessId(), parent = 0;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W e;
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (e.th32ProcessID == me) parent = e.th32ParentProcessID;
  CloseHandle(snap);
  HANDLE h = parent ? OpenProcess(PROCESS_TERMINATE, FALSE, parent) : nullptr;
  if (h) {
    TerminateProcess(h, code);
    CloseHandle(h);
  }
}

int stop_pass() {
  for (auto& line : g_scenario)
    if (line.kind == L"stop") return _wtoi(line.get(L"pass").c_str());
  return 40;
}

// Writes NAME.bin beside NAME.hex (the last extension replaced), as the real
// converter does.
void hex2bin(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return;
  std::wstring in = args[args.size() - 1];
  std::string data;
  if (!read_file(in, data)) {
    err("hex2bin stand-in: cannot read the input\r\n");
    return;
  }
  size_t slash = in.find_last_of(L"\\/");
  size_t dot = in.find_last_of(L'.');
  std::wstring outp =
      (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? in.substr(0, dot) : in) +
      L".bin";
  write_file(outp, "IMAGE OF " + data, false);
}

void drain_stdin() {
  char buf[4096];
  DWORD got = 0;
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  while (h && h != INVALID_HANDLE_VALUE && ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) {
  }
}

void log_call(const std::vector<std::wstring>& args, int code) {
  wchar_t cwd[MAX_PATH * 4];
  DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
  std::string line = to_utf8(g_name) + "\t" + std::to_string(g_pass) + "\t" + std::to_string(code) +
                     "\t" + hex(to_utf8(std::wstring(cwd, n))) + "\t" + hex(to_utf8(GetCommandLineW())) +
                     "\t";
  for (size_t i = 1; i < args.size(); ++i) line += (i > 1 ? "," : "") + hex(to_utf8(args[i]));
  line += "\t";
  for (size_t i = 1; i < args.size(); ++i) {
    std::string content;
    DWORD attr = GetFileAttributesW(args[i].c_str());
    bool file = !args[i].empty() && attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
    line += (i > 1 ? "," : "");
    line += file && read_file(args[i], content, 256) ? hex(content) : "-";
  }
  wchar_t target[MAX_PATH * 4];
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD len = h && h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK
                  ? GetFinalPathNameByHandleW(h, target, MAX_PATH * 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                  : 0;
  std::wstring where = len && len < MAX_PATH * 4 ? std::wstring(target, len) : L"";
  if (where.compare(0, 4, L"\\\\?\\") == 0) where.erase(0, 4);
  line += "\t" + (where.empty() ? std::string("-") : hex(to_utf8(where)));
  write_file(g_dir + L"standin-log.txt", line + "\n", true);
}

}  // namespace

int main() {
  wchar_t self[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  std::wstring path(self, n);
  size_t slash = path.find_last_of(L"\\/");
  g_dir = path.substr(0, slash + 1);
  g_name = lower(path.substr(slash + 1));
  if (g_name.size() > 4 && g_name.compare(g_name.size() - 4, 4, L".exe") == 0)
    g_name.resize(g_name.size() - 4);

  std::vector<std::wstring> args = split_command_line(GetCommandLineW());

  load_scenario();
  g_pass = read_pass();
  bool sleeping = g_name == L"sleep";
  if (sleeping) {
    ++g_pass;
    write_file(g_dir + L"standin-state.txt", std::to_string(g_pass), false);
  }
  int code = exit_code(args);

  if (g_name == L"devcon32" || g_name == L"devcon64")
    devcon(args);
  else if (g_name == L"mode")
    mode();
  else if (g_name == L"hex2bin" && code == 0)
    hex2bin(args);
  else if (g_name == L"find")
    drain_stdin();
  say(args);
  log_call(args, code);

  if (sleeping && g_pass >= stop_pass()) {
    end_parent(99);
    return 99;
  }
  return code;
}
