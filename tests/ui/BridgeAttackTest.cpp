// Hostile pages against the page bridge: each case asserts that nothing
// reached the provider and that the program still answers our own pages.
#include "tests/ui/BrowserFixture.h"

#include <glib.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <filesystem>

using namespace browsertest;

namespace {

std::string FileUri(const std::string& path) {
    char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string text = uri ? uri : "";
    g_free(uri);
    return text;
}

// Requests made by hand, as a page without the bridge script would make
// them: with guessed tokens, or with a body of the page's choosing.
const char* kForge = R"JS(
function forge(member, token, body) {
  try {
    var x = new XMLHttpRequest();
    x.open('POST', 'quira-ext://call/' + member, false);
    x.send(body !== undefined ? body : '{"t":"' + token + '","m":"' + member + '","k":"call","a":[1]}');
    return x.status;
  } catch (e) { return 'exception'; }
}
var guesses = ['', 'guess', '00000000000000000000000000000000', 'ffffffffffffffffffffffffffffffff'];
function forgeAll(member) { var out = []; for (var i = 0; i < guesses.length; i++) out.push(forge(member, guesses[i])); return out; }
)JS";

// A page that reports what it can reach: the object, one member, forged calls.
std::string ProbePage() {
    return std::string("<title>probe</title><script>") + kForge + R"JS(
var out = {kind: typeof window.external, forged: forgeAll('GetText')};
try { out.call = window.external.GetLong(1); } catch (e) { out.call = 'error: ' + e.message; }
document.title = 'done:' + JSON.stringify(out);
</script>)JS";
}

// Our page, showing that the bridge still answers it.
const char* kAlivePage =
    "<title>alive</title><script>document.title = 'done:' + "
    "JSON.stringify({long: window.external.GetLong(99)});</script>";

class BridgeAttackTest : public BrowserFixture {
  protected:
    void ExpectStillAlive() {
        provider->calls.clear();
        const Json out = LoadAndRead(data.Write("alive.html", kAlivePage));
        EXPECT_EQ(out["long"], 100);
        EXPECT_EQ(provider->calls, std::vector<std::string>{"GetLong"});
    }
};

// A local page outside our folders sends itself to a missing page inside
// them and keeps calling while that load is pending and failing.
TEST_F(BridgeAttackTest, PageBeingReplacedIsNotJudgedByItsSuccessor) {
    const PageServer ticks(std::map<std::string, std::string>{});
    uitest::TempDir elsewhere;
    const std::string missing = FileUri(data.Path() + "/BooK/missing.html");
    const std::string hostile =
        elsewhere.Write("evil.html", std::string("<title>evil</title><script>") + kForge +
                                         "var target = " + Json(missing).dump() +
                                         ", tick = " + Json(ticks.Url("/tick")).dump() +
                                         R"JS(;
function hammer() {
  for (var i = 0; i < 10; i++) {
    try { window.external.GetLong(1); } catch (e) {}
    forgeAll('GetLong');
  }
  try { var x = new XMLHttpRequest(); x.open('GET', tick, false); x.send(); } catch (e) {}
}
document.title = 'kind:' + typeof window.external;
setInterval(hammer, 0);
setTimeout(function () { location.href = target; }, 30);
</script>)JS");
    int ticksWhilePending = 0;
    for (int round = 0; round < 3; ++round) {
        int ticksAtStart = -1;
        bool committed = false;
        browser->OnBeforeNavigate = [&](const std::string& uri) {
            if (uri == missing) ticksAtStart = ticks.Ticks();
            return true;
        };
        browser->OnNavigateComplete = [&](const std::string& uri) {
            if (uri != missing || ticksAtStart < 0) return;
            ticksWhilePending += ticks.Ticks() - ticksAtStart;
            committed = true;
        };
        browser->Navigate(hostile);
        ASSERT_TRUE(uitest::PumpUntil([&] { return committed && !browser->IsLoading(); }));
        EXPECT_TRUE(provider->calls.empty()) << "round " << round;
    }
    // The page did call while its successor was pending.
    EXPECT_GT(ticksWhilePending, 0);
    browser->OnBeforeNavigate = nullptr;
    browser->OnNavigateComplete = nullptr;
    ExpectStillAlive();
}

// Our page overrides every built-in the bridge script could touch, to catch
// the token, and hands what it caught to frames that try it.
TEST_F(BridgeAttackTest, TokenCannotBeReadThroughBuiltInsNorUsedFromFrames) {
    uitest::TempDir elsewhere;
    const std::string frameScript = std::string(kForge) + R"JS(
var who = location.protocol === 'file:' ? location.pathname.replace(/.*\//, '') : location.protocol;
if (window.origin === 'null' && location.protocol === 'about:') who = 'sandbox';
window.addEventListener('message', function (e) {
  var out = {who: who, forged: [], parent: ''};
  var tokens = e.data.concat(guesses);
  for (var i = 0; i < tokens.length; i++) out.forged.push(forge('GetText', tokens[i]));
  try { out.parent = String(parent.external.GetText()); } catch (err) { out.parent = 'error'; }
  parent.postMessage(out, '*');
});
parent.postMessage('ready', '*');
)JS";
    const std::string outsideFrame =
        elsewhere.Write("outside.html", "<script>" + frameScript + "</script>");
    data.Write("inside.html", "<script>" + frameScript + "</script>");
    const std::string page = R"HTML(<title>t</title><script>
var seen = [], busy = false;
const R = Reflect.apply, exec = RegExp.prototype.exec, fnText = Function.prototype.toString;
function scan(text) {
  var re = /[0-9a-f]{32}/g, m;
  while ((m = R(exec, re, [text]))) if (!/^(0+|f+)$/.test(m[0])) seen.push(m[0]);
}
function note(v) {
  if (busy || v === window.external) return;
  busy = true;
  try {
    if (typeof v === 'string') scan(v);
    else if (v && (typeof v === 'object' || typeof v === 'function')) {
      for (var k in v) { try { if (typeof v[k] === 'string') scan(v[k]); } catch (e) {} }
      if (typeof v === 'function') scan(R(fnText, v, []));
    }
  } catch (e) {}
  busy = false;
}
function wrap(owner, names) {
  names.forEach(function (name) {
    var original = owner[name];
    if (typeof original !== 'function') return;
    owner[name] = function () {
      note(this);
      for (var i = 0; i < arguments.length; i++) note(arguments[i]);
      return R(original, this, arguments);
    };
  });
}
wrap(Function.prototype, ['call', 'apply', 'bind', 'toString']);
wrap(Object, ['keys', 'defineProperty', 'getOwnPropertyDescriptor', 'freeze', 'assign', 'entries']);
wrap(JSON, ['stringify', 'parse']);
wrap(Reflect, ['apply', 'construct']);
wrap(XMLHttpRequest.prototype, ['open', 'send', 'setRequestHeader']);
wrap(String.prototype, ['concat', 'replace', 'replaceAll', 'slice', 'substring', 'substr', 'split',
  'indexOf', 'toString', 'valueOf', 'charCodeAt', 'charAt', 'trim', 'padStart', 'match', 'normalize']);
wrap(Array.prototype, ['join', 'push', 'map', 'slice', 'concat', 'forEach', 'toString', 'reduce', 'indexOf']);
wrap(window, ['encodeURIComponent', 'encodeURI', 'escape', 'String', 'Error']);
[Object.prototype, Array.prototype].forEach(function (proto) {
  Object.defineProperty(proto, 'toJSON', {configurable: true, writable: true,
    value: function () { note(this); return this; }});
});
['t', 'token', 'a', 'k', 'm', 'body'].forEach(function (key) {
  Object.defineProperty(Object.prototype, key, {configurable: true,
    get: function () { return undefined; },
    set: function (v) { note(v); Object.defineProperty(this, key, {value: v, writable: true, enumerable: true, configurable: true}); }});
});
var out = {};
function attempt(name, f) { try { out[name] = f(); } catch (e) { out[name] = 'error: ' + e.message; } }
attempt('echo', function () { return external.Echo('x', 7, {toJSON: function () { note(this); return 'obj'; }}, [1, 'two'], 12n); });
attempt('font', function () { var before = external.FontName; external.FontName = 'KaiTi'; return before; });
attempt('long', function () { return external.GetLong(1); });
note(external.Echo); note(external.GetLong);
note(Object.getOwnPropertyDescriptor(external, 'FontName').get);
var results = [], ready = 0, frames = [];
window.addEventListener('message', function (e) {
  if (e.data === 'ready') {
    if (++ready < 4) return;
    var caught = seen.filter(function (v, i) { return seen.indexOf(v) === i; });
    frames.forEach(function (f) { f.contentWindow.postMessage(caught, '*'); });
    return;
  }
  results.push(e.data);
  if (results.length === 4) {
    out.seen = seen; out.frames = results;
    window.report = JSON.stringify(out);
    document.title = 'done';
  }
});
function addFrame(setup) { var f = document.createElement('iframe'); setup(f); document.body.appendChild(f); frames.push(f); }
window.addEventListener('load', function () {
  var frameScript = )HTML" + Json(frameScript).dump() +
                             R"HTML(;
  addFrame(function (f) { f.sandbox = 'allow-scripts'; f.srcdoc = '<script>' + frameScript + '<\/script>'; });
  addFrame(function (f) { f.src = 'data:text/html,' + encodeURIComponent('<script>' + frameScript + '<\/script>'); });
  addFrame(function (f) { f.src = )HTML" +
                             Json(FileUri(outsideFrame)).dump() +
                             R"HTML(; });
  addFrame(function (f) { f.src = 'inside.html'; });
});
</script><body></body>)HTML";
    const Json out = LoadAndRead(data.Write("trusted.html", page));
    EXPECT_EQ(out["echo"], "[x][7][obj][[1,\"two\"]][12]");
    EXPECT_EQ(out["font"], "SimSun");
    EXPECT_EQ(out["long"], 2);
    EXPECT_EQ(out["seen"], Json::array()) << "the page caught the token";
    ASSERT_EQ(out["frames"].size(), 4u) << out;
    for (const Json& frame : out["frames"]) {
        for (const Json& status : frame["forged"]) EXPECT_EQ(status, 403) << frame;
        EXPECT_EQ(frame["parent"], "error") << frame;
    }
    EXPECT_EQ(provider->calls,
              (std::vector<std::string>{"Echo", "FontName", "FontName", "GetLong"}));
    ExpectStillAlive();
}

// Pages from the network, in the top frame and in a frame of our page, with
// guessed tokens and with a body nested deep enough to overflow a recursive
// reader: refused before their bodies are read.
TEST_F(BridgeAttackTest, NetworkPagesAreRefusedBeforeTheirBodiesAreRead) {
    const std::string strangerScript = std::string(kForge) + R"JS(
var deep = '{"t":"guess","m":"GetLong","k":"call","a":' + '['.repeat(100000) + ']'.repeat(100000) + '}';
var out = {kind: typeof window.external, forged: forgeAll('GetText'),
  deep: forge('GetLong', '', deep), bare: forge('GetLong', '', '['.repeat(100000) + ']'.repeat(100000)),
  big: forge('GetLong', '', '{"t":"guess","a":"' + 'x'.repeat(3 << 20) + '"}')};
try { out.parent = String(parent === window ? 'top' : parent.external.GetText()); } catch (e) { out.parent = 'error'; }
)JS";
    const PageServer site(std::map<std::string, std::string>{
        {"/top.html", "<script>" + strangerScript +
                          "window.report = JSON.stringify(out); document.title = 'done';</script>"},
        {"/frame.html", "<script>" + strangerScript + "parent.postMessage(out, '*');</script>"}});
    auto expectRefused = [](const Json& out) {
        EXPECT_EQ(out["kind"], "undefined") << out;
        for (const Json& status : out["forged"]) EXPECT_EQ(status, 403) << out;
        EXPECT_EQ(out["deep"], 403);
        EXPECT_EQ(out["bare"], 403);
        EXPECT_EQ(out["big"], 403);
    };
    const Json top = LoadAndRead(site.Url("/top.html"));
    expectRefused(top);
    EXPECT_EQ(top["parent"], "top");

    const Json framed = LoadAndRead(
        data.Write("framing.html",
                   "<title>f</title><script>window.addEventListener('message', function (e) {"
                   "window.report = JSON.stringify(e.data); document.title = 'done'; });"
                   "</script><iframe src=\"" +
                       site.Url("/frame.html") + "\"></iframe>"));
    expectRefused(framed);
    EXPECT_EQ(framed["parent"], "error");
    EXPECT_TRUE(provider->calls.empty());
    ExpectStillAlive();
}

// Local pages that are not ours, however they are reached, get no object and
// no answer.
TEST_F(BridgeAttackTest, LocalPagesOutsideOurFoldersGetNothing) {
    uitest::TempDir elsewhere;
    const std::string probe = elsewhere.Write("page.html", ProbePage());
    const std::string name = std::filesystem::path(elsewhere.Path()).filename().string();
    ASSERT_EQ(symlink(elsewhere.Path().c_str(), (data.Path() + "/link").c_str()), 0);
    data.Write("start.html", "<a id=out href=\"" + FileUri(probe) +
                                 "\">out</a><script>document.getElementById('out').click();"
                                 "</script>");
    const struct {
        std::string target;
        const char* kind;
    } cases[] = {
        {probe, "undefined"},
        {data.Path() + "/../" + name + "/page.html", "undefined"},
        {FileUri(data.Path()) + "/%2e%2e/" + name + "/page.html", "undefined"},
        {FileUri(data.Path()) + "/%2E%2E/" + name + "/page.html", "undefined"},
        // A link out of our folder is followed; the page behind it is not ours.
        {data.Path() + "/start.html", "undefined"},
        // The address lies inside our folder, the file does not: through a
        // link in the folder, or a slash written as %2f.
        {data.Path() + "/link/page.html", "undefined"},
        {FileUri(data.Path()) + "/%2e%2e%2f" + name + "/page.html", "undefined"},
        {FileUri(data.Path()) + "/link/page.html?x=1#top", "undefined"},
    };
    for (const auto& c : cases) {
        const Json out = LoadAndRead(c.target);
        EXPECT_EQ(out["kind"], c.kind) << c.target;
        for (const Json& status : out["forged"]) EXPECT_EQ(status, 403) << c.target;
        EXPECT_EQ(out["call"].get<std::string>().rfind("error: ", 0), 0u) << out;
        EXPECT_NE(browser->Uri().find("/page.html"), std::string::npos) << browser->Uri();
    }
    EXPECT_TRUE(provider->calls.empty());
    ExpectStillAlive();
}

// A page whose bridge token leaked (here a script of the test, run before
// the bridge's own, hands the page what the bridge sends): a request may only
// call the member that its address names, as the bridge's own requests do.
TEST_F(BridgeAttackTest, ARequestCallsOnlyTheMemberItsAddressNames) {
    WebKitUserContentManager* content =
        webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(browser->Widget()));
    WebKitUserScript* leak = webkit_user_script_new(
        "(function () { const send = XMLHttpRequest.prototype.send;"
        "XMLHttpRequest.prototype.send = function (body) {"
        "  const m = /\"t\":\"([0-9a-f]+)\"/.exec(String(body)); if (m) window.leaked = m[1];"
        "  return send.apply(this, arguments); }; })();",
        WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr,
        nullptr);
    webkit_user_content_manager_add_script(content, leak);
    webkit_user_script_unref(leak);
    // The bridge's scripts are put in anew at each page, after the test's.
    LoadAndRead(data.Write("first.html", "<title>done:{}</title>"));
    provider->calls.clear();
    const Json out = LoadAndRead(data.Write("leaked.html", std::string("<script>") + R"JS(
function send(path, member, token) {
  var x = new XMLHttpRequest();
  x.open('POST', 'quira-ext://call/' + path, false);
  x.send('{"t":"' + token + '","m":"' + member + '","k":"call","a":[5]}');
  return x.status;
}
var out = {long: external.GetLong(1)};
out.leaked = typeof window.leaked;
out.same = send('GetLong', 'GetLong', window.leaked);
out.other = send('Echo', 'GetLong', window.leaked);
out.encoded = send('Get%4Cong', 'GetLong', window.leaked);
out.prefix = send('GetLong/x', 'GetLong', window.leaked);
window.report = JSON.stringify(out);
document.title = 'done';
</script>)JS"));
    EXPECT_EQ(out["long"], 2);
    EXPECT_EQ(out["leaked"], "string");
    EXPECT_EQ(out["same"], 200);
    EXPECT_EQ(out["other"], 403);
    EXPECT_EQ(out["encoded"], 200);
    EXPECT_EQ(out["prefix"], 403);
    EXPECT_EQ(provider->calls, (std::vector<std::string>{"GetLong", "GetLong", "GetLong"}));
}

// Arguments no member can take are bad requests, which a page tells apart
// from a refusal; fine arguments still pass.
TEST_F(BridgeAttackTest, ArgumentsOutOfRangeAreBadRequestsNotRefusals) {
    const Json out = LoadAndRead(data.Write("args.html", std::string("<script>") + kForge + R"JS(
var out = {};
function attempt(name, f) { try { out[name] = f(); } catch (e) { out[name] = 'error: ' + e.message; } }
attempt('big', function () { return external.Echo(2 ** 63); });
attempt('negative', function () { return external.Echo(-(2 ** 64)); });
attempt('huge', function () { return external.Echo(1e21); });
attempt('bigint', function () { return external.Echo(2n ** 64n); });
attempt('nul', function () { return external.Echo('a\u0000b'); });
attempt('nulInList', function () { return external.Echo(['x', '\u0000']); });
attempt('long', function () { return external.Echo('x'.repeat(70000)); });
attempt('symbol', function () { return external.Echo(Symbol('s')); });
attempt('fine', function () { return external.Echo(2 ** 53, 42n, -5, 'a', -(2 ** 53)); });
out.wrongToken = forge('Echo', 'guess');
out.garbage = forge('Echo', '', 'garbage');
window.report = JSON.stringify(out);
document.title = 'done';
</script>)JS"));
    const std::string bad = "error: window.external.Echo: bad request: ";
    EXPECT_EQ(out["big"], bad + "number out of range");
    EXPECT_EQ(out["negative"], bad + "number out of range");
    EXPECT_EQ(out["huge"], bad + "number out of range");
    EXPECT_EQ(out["bigint"], bad + "number out of range");
    EXPECT_EQ(out["nul"], bad + "text holds NUL");
    EXPECT_EQ(out["nulInList"], bad + "text holds NUL");
    EXPECT_EQ(out["long"], bad + "request too large");
    EXPECT_EQ(out["symbol"], bad + "unsupported value");
    EXPECT_EQ(out["fine"], "[9007199254740992][42][-5][a][-9007199254740992]");
    EXPECT_EQ(out["wrongToken"], 403);
    EXPECT_EQ(out["garbage"], 400);
    EXPECT_EQ(provider->calls, std::vector<std::string>{"Echo"});
}

// A page sends itself to a missing file of our folder whose name is markup:
// the error page shows the name as text and is no page of ours.
TEST_F(BridgeAttackTest, ErrorPageShowsMarkupInANameAsText) {
    uitest::TempDir elsewhere;
    const std::string target =
        FileUri(data.Path() + "/BooK") +
        "/%3Cimg%20src=x%20onerror=%22document.title='pwn:'+typeof(window.external)%22%3E.html";
    bool failed = false;
    browser->OnLoadFailed = [&](const std::string& uri, const std::string&) {
        failed = failed || uri == target;
    };
    browser->Navigate(elsewhere.Write("evil.html", "<title>evil</title><script>location.href = " +
                                                       Json(target).dump() + ";</script>"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return failed && !browser->IsLoading(); }));
    std::optional<std::string> shown;
    browser->RunScript("return {text: document.body.textContent, images: document.images.length};",
                       [&](std::optional<std::string> json, std::string error) {
                           shown = json.value_or("\"" + error + "\"");
                       });
    ASSERT_TRUE(uitest::PumpUntil([&] { return shown.has_value(); }));
    const Json page = Json::parse(*shown);
    EXPECT_EQ(browser->Uri(), target);
    EXPECT_EQ(browser->Title().find("pwn"), std::string::npos) << browser->Title();
    EXPECT_NE(page["text"].get<std::string>().find("<img src=x onerror"), std::string::npos)
        << page;
    EXPECT_EQ(page["images"], 0);
    EXPECT_TRUE(provider->calls.empty());
    ExpectStillAlive();
}

}  // namespace
