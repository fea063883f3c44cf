// The open dialog on Linux: the desktop's own file chooser through the XDG desktop portal
// (org.freedesktop.portal.FileChooser on the session bus), else zenity's, else none.
#include "win32.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

DWORD lastDialogError = 0;

// What a chooser did: picked a file, was cancelled, or could not be asked.
enum class Chosen { file, cancelled, unanswered };

// The filter's pairs (name, pattern) from OPENFILENAMEA's list of NUL-ended strings.
std::vector<std::pair<std::string, std::string>> filterPairs(LPCSTR f) {
  std::vector<std::pair<std::string, std::string>> pairs;
  while (f && *f) {
    std::string name = f;
    f += name.size() + 1;
    if (!*f) break;
    std::string pattern = f;
    f += pattern.size() + 1;
    if (pattern == "*.*") pattern = "*"; // Windows' "all files"
    pairs.push_back({name, pattern});
  }
  return pairs;
}

struct PortalWait {
  GMainLoop* loop = nullptr;
  guint32 response = 2; // the portal's: 0 chosen, 1 cancelled, 2 ended otherwise
  std::string uri;
  bool gone = false; // the portal left the bus before it answered
};

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* params, gpointer data) {
  auto* w = static_cast<PortalWait*>(data);
  GVariant* results = nullptr;
  g_variant_get(params, "(u@a{sv})", &w->response, &results);
  const gchar** uris = nullptr;
  if (results && g_variant_lookup(results, "uris", "^a&s", &uris) && uris && uris[0])
    w->uri = uris[0];
  g_free(uris);
  if (results) g_variant_unref(results);
  g_main_loop_quit(w->loop);
}

void onPortalGone(GDBusConnection*, const gchar*, gpointer data) {
  auto* w = static_cast<PortalWait*>(data);
  w->gone = true;
  g_main_loop_quit(w->loop);
}

// The path the portal's request for `token` will have: its sender's unique name without the
// ':' and with '_' for each '.'.
std::string requestPath(GDBusConnection* bus, const std::string& token) {
  std::string sender = g_dbus_connection_get_unique_name(bus);
  if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
  for (char& c : sender)
    if (c == '.') c = '_';
  return "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
}

Chosen askPortal(const OPENFILENAMEA& ofn, std::string& path) {
  GError* e = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &e);
  if (!bus) {
    g_clear_error(&e);
    return Chosen::unanswered;
  }
  // The answer comes as a signal: its handlers run in a context of our own, while we wait.
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  PortalWait w;
  w.loop = g_main_loop_new(context, FALSE);
  static int asked = 0;
  std::string token = "kelvane" + std::to_string(getpid()) + "_" + std::to_string(++asked);
  std::string handle = requestPath(bus, token);
  auto subscribe = [&](const std::string& at) {
    return g_dbus_connection_signal_subscribe(
        bus, "org.freedesktop.portal.Desktop", "org.freedesktop.portal.Request", "Response",
        at.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onResponse, &w, nullptr);
  };
  guint sub = subscribe(handle);
  GVariantBuilder filters;
  g_variant_builder_init(&filters, G_VARIANT_TYPE("a(sa(us))"));
  for (const auto& [name, pattern] : filterPairs(ofn.lpstrFilter)) {
    GVariantBuilder globs;
    g_variant_builder_init(&globs, G_VARIANT_TYPE("a(us)"));
    g_variant_builder_add(&globs, "(us)", 0u, pattern.c_str());
    g_variant_builder_add(&filters, "(s@a(us))", name.c_str(), g_variant_builder_end(&globs));
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(TRUE));
  g_variant_builder_add(&options, "{sv}", "filters", g_variant_builder_end(&filters));
  // A portal that is there answers the call at once; the user's answer comes later.
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
      "org.freedesktop.portal.FileChooser", "OpenFile",
      g_variant_new("(ss@a{sv})", "", ofn.lpstrTitle ? ofn.lpstrTitle : "Open",
                    g_variant_builder_end(&options)),
      G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &e);
  Chosen chosen = Chosen::unanswered;
  if (reply) {
    const gchar* at = nullptr;
    g_variant_get(reply, "(&o)", &at);
    if (at && handle != at) { // an older portal picks its own path
      g_dbus_connection_signal_unsubscribe(bus, sub);
      sub = subscribe(at);
    }
    g_variant_unref(reply);
    guint watch = g_bus_watch_name_on_connection(bus, "org.freedesktop.portal.Desktop",
                                                 G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                                                 onPortalGone, &w, nullptr);
    g_main_loop_run(w.loop);
    g_bus_unwatch_name(watch);
    if (!w.gone && w.response == 0 && !w.uri.empty()) {
      gchar* file = g_filename_from_uri(w.uri.c_str(), nullptr, nullptr);
      if (file) {
        path = file;
        chosen = Chosen::file;
      }
      g_free(file);
    } else if (!w.gone && w.response == 1)
      chosen = Chosen::cancelled;
  } else
    g_clear_error(&e);
  g_dbus_connection_signal_unsubscribe(bus, sub);
  // Let the unsubscriptions and the unwatch finish before the context goes.
  while (g_main_context_iteration(context, FALSE)) {
  }
  g_main_loop_unref(w.loop);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  g_object_unref(bus);
  return chosen;
}

// zenity's file chooser: exit status 0 with the path on stdout, 1 when cancelled.
Chosen askZenity(const OPENFILENAMEA& ofn, std::string& path) {
  std::vector<std::string> args = {"zenity", "--file-selection"};
  if (ofn.lpstrTitle) args.push_back(std::string("--title=") + ofn.lpstrTitle);
  for (const auto& [name, pattern] : filterPairs(ofn.lpstrFilter))
    args.push_back("--file-filter=" + name + " | " + pattern);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return Chosen::unanswered;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  pid_t pid;
  int failed = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  if (!failed) {
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) != 0;)
      if (n > 0)
        text.append(buf, size_t(n));
      else if (errno != EINTR)
        break;
  }
  close(out[0]);
  if (failed) return Chosen::unanswered;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return Chosen::unanswered;
  if (WEXITSTATUS(status) == 1) return Chosen::cancelled;
  if (WEXITSTATUS(status) != 0) return Chosen::unanswered; // no display, or no zenity (127)
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) return Chosen::cancelled;
  path = text;
  return Chosen::file;
}

} // namespace

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn) {
  lastDialogError = 0;
  if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) {
    lastDialogError = CDERR_INITIALIZATION;
    return FALSE;
  }
  std::string path;
  Chosen c = askPortal(*ofn, path);
  if (c == Chosen::unanswered) c = askZenity(*ofn, path);
  if (c == Chosen::unanswered) lastDialogError = CDERR_INITIALIZATION;
  if (c != Chosen::file) return FALSE;
  if (path.size() + 1 > ofn->nMaxFile) {
    lastDialogError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
  return TRUE;
}

DWORD CommDlgExtendedError() {
  return lastDialogError;
}
