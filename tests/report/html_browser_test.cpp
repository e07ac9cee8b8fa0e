// The page as a browser sees it: headless Chromium parses pages written by
// the HTML report, and its DOM must hold the expected structure, nothing that
// runs or loads, and hostile names only as text; a screenshot must show
// something. Skipped where no headless Chromium is installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "html_test_util.h"

namespace {

constexpr int kBrowserTimeoutS = 90;

bool executable(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

// chromium-headless-shell on PATH, Debian's own path, or a full chromium.
std::string find_browser() {
  const char* env = getenv("PATH");
  std::string path = env ? env : "/usr/bin:/bin";
  for (const char* name : {"chromium-headless-shell", "chromium"}) {
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find(':', start);
      if (end == std::string::npos) end = path.size();
      std::string candidate = path.substr(start, end - start) + "/" + name;
      if (executable(candidate)) return candidate;
      start = end + 1;
    }
    if (executable(std::string("/usr/lib/chromium/") + name)) {
      return std::string("/usr/lib/chromium/") + name;
    }
  }
  return "";
}

struct BrowserRun {
  bool finished;  // exited before the timeout
  int status;
  std::string out;
};

// Runs the browser in a process group of its own with a fresh profile;
// its standard output is captured. On timeout, and after it exits, the whole
// group is killed so no renderer or helper outlives the test.
BrowserRun run_browser(const std::string& browser, const std::vector<std::string>& extra) {
  TempDir profile;
  std::string out_path = profile.file("stdout");
  std::vector<std::string> args = {browser,
                                   "--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--user-data-dir=" + profile.file("profile")};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  BrowserRun r = {false, -1, ""};
  if (pid < 0) return r;
  setpgid(pid, pid);  // also from here, so the group exists before any kill
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kBrowserTimeoutS);
  int st = 0;
  while (true) {
    pid_t w = waitpid(pid, &st, WNOHANG);
    if (w == pid) {
      r.finished = true;
      r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-pid, SIGKILL);
  if (!r.finished) waitpid(pid, &st, 0);
  r.out = read_file(out_path);
  return r;
}

// Every element name and every attribute name in a serialised DOM. Text is
// serialised with "<" escaped, so each "<" there opens a tag.
struct DomTags {
  std::multiset<std::string> elements;
  std::set<std::string> attributes;
};

DomTags tags_of(const std::string& dom) {
  DomTags t;
  static const std::regex tag("<([a-zA-Z][a-zA-Z0-9-]*)([^>]*)>");
  static const std::regex attr("\\s([^\\s=/>]+)(=\"[^\"]*\")?");
  for (std::sregex_iterator it(dom.begin(), dom.end(), tag), end; it != end; ++it) {
    t.elements.insert((*it)[1].str());
    std::string rest = (*it)[2].str();
    for (std::sregex_iterator a(rest.begin(), rest.end(), attr); a != end; ++a) {
      t.attributes.insert((*a)[1].str());
    }
  }
  return t;
}

// Nothing in the page may run or fetch: only these elements and attributes.
void expect_inert(const std::string& dom) {
  static const std::set<std::string> kElements = {
      "html", "head",    "meta",    "title", "style",  "body",  "div",    "h1",
      "h2",   "p",       "span",    "i",     "strong", "ol",    "ul",     "li",
      "pre",  "details", "summary", "table", "thead",  "tbody", "tr",     "th",
      "td",   "br",      "svg",     "rect",  "text",   "line",  "figure", "figcaption"};
  static const std::set<std::string> kAttributes = {
      "lang",  "charset", "name",    "content", "class",   "open",         "style",
      "width", "height",  "viewbox", "viewBox", "xmlns",   "role",         "aria-label",
      "x",     "y",       "rx",      "fill",    "opacity", "font-size",    "text-anchor",
      "x1",    "y1",      "x2",      "y2",      "stroke",  "stroke-width", "stroke-dasharray"};
  DomTags t = tags_of(dom);
  for (const std::string& e : t.elements) EXPECT_TRUE(kElements.count(e)) << "element " << e;
  for (const std::string& a : t.attributes) EXPECT_TRUE(kAttributes.count(a)) << "attribute " << a;
  EXPECT_EQ(dom.find("url("), std::string::npos);
  EXPECT_EQ(dom.find("@import"), std::string::npos);
}

class HtmlBrowser : public HtmlPageTest {
 protected:
  void SetUp() override {
    HtmlPageTest::SetUp();
    browser = find_browser();
    if (browser.empty()) GTEST_SKIP() << "no headless Chromium installed";
  }

  // Writes the page to a file and loads it; the serialised DOM.
  std::string dom_of(const std::string& html) {
    dir.write("page.html", html);
    BrowserRun r = run_browser(browser, {"--dump-dom", "file://" + dir.file("page.html")});
    EXPECT_TRUE(r.finished) << "browser timed out";
    EXPECT_EQ(r.status, 0);
    return r.out;
  }

  std::string browser;
  TempDir dir;
};

TEST_F(HtmlBrowser, RichPageHasItsStructureAndNothingThatRunsOrLoads) {
  fill_rich(false);
  std::string dom = dom_of(page());
  ASSERT_FALSE(dom.empty());
  DomTags t = tags_of(dom);
  EXPECT_EQ(t.elements.count("details"), 6u);
  EXPECT_EQ(count_of(dom, "<details class=\"f fail\" open=\"\">"), 2u);
  EXPECT_EQ(count_of(dom, "<details class=\"f warn\" open=\"\">"), 1u);
  EXPECT_EQ(t.elements.count("svg"), 3u);                  // heat map and two histograms
  EXPECT_EQ(count_of(dom, "<table class=\"data\">"), 2u);  // measured latency, idle states
  EXPECT_EQ(count_of(dom, "<table class=\"ev\">"), 2u);
  EXPECT_NE(dom.find("<title>eth0-rx-0 on CPU 0: 200/s</title>"), std::string::npos);
  expect_inert(dom);
}

TEST_F(HtmlBrowser, HostileNamesAreText) {
  fill_rich(true);
  std::string dom = dom_of(page());
  ASSERT_FALSE(dom.empty());
  expect_inert(dom);
  DomTags t = tags_of(dom);
  EXPECT_EQ(t.elements.count("script"), 0u);
  EXPECT_EQ(t.elements.count("img"), 0u);
  EXPECT_NE(dom.find("<title>RT analysis - &lt;script&gt;alert(1)&lt;/script&gt;</title>"),
            std::string::npos);
  EXPECT_NE(
      dom.find(
          "<h1>Real-time system analysis \xE2\x80\x94 &lt;script&gt;alert(1)&lt;/script&gt;</h1>"),
      std::string::npos);
  EXPECT_NE(dom.find("<div class=\"meta\">\"&gt;&lt;img src=x onerror=alert(1)&gt; \xC2\xB7"),
            std::string::npos);
  EXPECT_NE(dom.find("Thread \"&gt;&lt;img src=x onerror=alert(1)&gt; runs outside"),
            std::string::npos);
  EXPECT_NE(dom.find("source: a&amp;amp;b"), std::string::npos);
  EXPECT_NE(dom.find("bad\xEF\xBF\xBD\xEF\xBF\xBD(name on CPU 2"), std::string::npos);
  // The device label in the heat map is text too.
  EXPECT_NE(dom.find("opacity=\".75\">&lt;script&gt;alert(1)</text>"), std::string::npos);
}

TEST_F(HtmlBrowser, FixtureTreePageParses) {
  RunResult r =
      run_kelvane("--root kernel-rt --interval 0 -f html -o -", "", tests_dir() + "/fixtures");
  ASSERT_EQ(r.status, 0);
  std::string dom = dom_of(r.out);
  expect_inert(dom);
  // Every findings block the page holds survives parsing.
  size_t blocks = 0;
  for (size_t at = r.out.find("<details"); at != std::string::npos; at = r.out.find("<details", at + 1)) {
    blocks++;
  }
  EXPECT_GT(blocks, 0u);
  EXPECT_EQ(tags_of(dom).elements.count("details"), blocks);
  EXPECT_NE(dom.find("<h1>Real-time system analysis \xE2\x80\x94 rt-box</h1>"), std::string::npos);
}

// The rich fixture with hostile names where the machine supplies them: the
// host, the kernel release, a thread and an interrupt's device. Through the
// real collectors and the page, each must stay text.
TEST_F(HtmlBrowser, HostileNamesFromAnAnalysedTreeAreText) {
  std::string tree = dir.file("tree");
  ASSERT_EQ(system(("cp -r '" + tests_dir() + "/fixtures/rich' '" + tree + "'").c_str()), 0);
  auto replace_in = [&](const std::string& rel, const std::string& from, const std::string& to) {
    std::string text = read_file(tree + "/" + rel);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << rel;
    text.replace(at, from.size(), to);
    dir.write("tree/" + rel, text);
  };
  const std::string device = "&amp;<b>\xff";
  dir.write("tree/proc/sys/kernel/hostname", "<script>alert(1)</script>\n");
  dir.write("tree/proc/sys/kernel/osrelease", "\"><img src=x onerror=alert(1)>\n");
  replace_in("proc/2400/task/2403/stat", "(rt_logger)", "(<script>x</script>)");
  replace_in("proc/2400/task/2403/status", "rt_logger", "<script>x</script>");
  replace_in("proc/interrupts", "ahci[0000:00:17.0]", device);
  ASSERT_EQ(rename((tree + "/proc/irq/124/ahci[0000:00:17.0]").c_str(),
                   (tree + "/proc/irq/124/" + device).c_str()),
            0);

  RunResult r = run_kelvane("--root '" + tree + "' --interval 0 -f html -o -");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string dom = dom_of(r.out);
  ASSERT_FALSE(dom.empty());
  expect_inert(dom);
  DomTags t = tags_of(dom);
  EXPECT_EQ(t.elements.count("script"), 0u);
  EXPECT_EQ(t.elements.count("img"), 0u);
  EXPECT_EQ(t.elements.count("b"), 0u);
  EXPECT_NE(dom.find("&lt;script&gt;alert(1)&lt;/script&gt;</h1>"), std::string::npos);
  EXPECT_NE(dom.find("\"&gt;&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
  EXPECT_NE(dom.find("&lt;script&gt;x&lt;/script&gt; (tid 2403)"), std::string::npos);
  // The device text keeps its literal "&amp;"; the byte that is not UTF-8
  // arrives as U+FFFD.
  EXPECT_NE(dom.find("Interrupt &amp;amp;&lt;b&gt;\xEF\xBF\xBD (IRQ 124)"), std::string::npos);
}

// ---- Screenshot ----

struct Image {
  uint32_t width, height;
  std::vector<uint32_t> pixels;  // 0xRRGGBB
};

uint32_t be32(const std::string& s, size_t at) {
  auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(s[at + i])); };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

int paeth(int a, int b, int c) {
  int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Decodes an 8-bit RGB or RGBA, non-interlaced PNG; false for anything else.
bool decode_png(const std::string& png, Image* img) {
  if (png.size() < 8 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  std::string idat;
  int channels = 0;
  for (size_t at = 8; at + 8 <= png.size();) {
    uint32_t len = be32(png, at);
    std::string type = png.substr(at + 4, 4);
    if (at + 12 + len > png.size()) return false;
    if (type == "IHDR") {
      img->width = be32(png, at + 8);
      img->height = be32(png, at + 12);
      int depth = png[at + 16], color = png[at + 17], interlace = png[at + 20];
      if (depth != 8 || interlace != 0 || (color != 2 && color != 6)) return false;
      channels = color == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      idat += png.substr(at + 8, len);
    }
    at += 12 + len;
  }
  if (!channels || img->width == 0 || img->width > 10000 || img->height > 10000) return false;
  size_t stride = size_t{img->width} * channels;
  std::vector<unsigned char> raw((stride + 1) * img->height);
  uLongf raw_len = raw.size();
  if (uncompress(raw.data(), &raw_len, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) !=
          Z_OK ||
      raw_len != raw.size()) {
    return false;
  }
  std::vector<unsigned char> prev(stride, 0), cur(stride);
  for (uint32_t y = 0; y < img->height; y++) {
    const unsigned char* line = &raw[y * (stride + 1)];
    for (size_t i = 0; i < stride; i++) {
      int a = i >= size_t(channels) ? cur[i - channels] : 0, b = prev[i];
      int c = i >= size_t(channels) ? prev[i - channels] : 0;
      int pred[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
      if (line[0] > 4) return false;
      cur[i] = static_cast<unsigned char>(line[1 + i] + pred[line[0]]);
    }
    for (size_t x = 0; x < img->width; x++) {
      const unsigned char* p = &cur[x * channels];
      img->pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    }
    prev = cur;
  }
  return true;
}

TEST_F(HtmlBrowser, ScreenshotIsNotBlank) {
  fill_rich(false);
  dir.write("page.html", page());
  std::string shot = dir.file("shot.png");
  BrowserRun r = run_browser(browser, {"--window-size=1000,1400", "--hide-scrollbars",
                                       "--screenshot=" + shot, "file://" + dir.file("page.html")});
  ASSERT_TRUE(r.finished) << "browser timed out";
  Image img = {};
  ASSERT_TRUE(decode_png(read_file(shot), &img));
  EXPECT_EQ(img.width, 1000u);
  EXPECT_EQ(img.height, 1400u);
  // The background is the most common colour; text, bars and cells differ
  // from it in many pixels and many colours.
  std::set<uint32_t> colours(img.pixels.begin(), img.pixels.end());
  uint32_t bg = img.pixels[0];
  size_t differ = 0;
  for (uint32_t p : img.pixels) differ += p != bg;
  EXPECT_GT(colours.size(), 50u);
  EXPECT_GT(differ, img.pixels.size() / 20);
}

}  // namespace
