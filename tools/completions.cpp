// Completion scripts from the CLI11 declarations: the commands and each command's options come
// from the parser; what an option's value is (a kind of file, one of some words, or free text)
// from the table below.
#include "completions.h"

#include <cstring>
#include <vector>

namespace {

// An option's or positional's value: files ending in `files` ("png", "obj|glb|gltf", "*" for
// any), one of `words`, or (neither) free text with nothing to offer. "*" as command: any.
struct ValueKind {
  const char* command;
  const char* option; // its long name, or a positional's name
  const char* files;
  const char* words;
};

const ValueKind valueKinds[] = {
    {"*", "MAP", "map", nullptr},
    {"diff", "OLD", "map", nullptr},
    {"diff", "NEW", "map", nullptr},
    {"patch", "CHANGES", "json", nullptr},
    {"patch", "--output", "map", nullptr},
    {"make-map", "DESC", "json", nullptr},
    {"thumbnail", "OUT", "png", nullptr},
    {"render", "--output", "png", nullptr},
    {"export", "--output", "obj|glb|gltf", nullptr},
    {"demo", "--output", "map", nullptr},
    {"make-map", "--output", "map", nullptr},
    {"render", "--path", "*", nullptr},
    {"export", "--format", nullptr, "obj glb gltf"},
};

struct Opt {
  std::vector<std::string> names; // "-o", "--output"
  std::string key;                // the long name, or a positional's name
  std::string does;               // the first clause of its help
  bool positional, takesValue;
  const ValueKind* kind;
};

struct Command {
  std::string name, does;
  std::vector<Opt> opts;
};

// A help text's first clause, short enough for a completion menu: without its asides in
// parentheses, up to its first ':', ';' or '.' that ends a phrase.
std::string clause(const std::string& s) {
  std::string c;
  int depth = 0;
  for (size_t i = 0; i < s.size(); i++) {
    char ch = s[i];
    depth += ch == '(';
    if (depth == 0 && (ch == ':' || ch == ';' || ch == '.') &&
        (i + 1 == s.size() || s[i + 1] == ' '))
      break;
    if (depth == 0 && !(ch == ' ' && !c.empty() && c.back() == ' ')) c += ch;
    depth -= ch == ')' && depth > 0;
  }
  for (size_t at; (at = c.find(" ,")) != std::string::npos;) c.erase(at, 1);
  while (!c.empty() && c.back() == ' ') c.pop_back();
  return c;
}

const ValueKind* kindOf(const std::string& command, const std::string& key) {
  for (const ValueKind& k : valueKinds)
    if ((!std::strcmp(k.command, "*") || command == k.command) && key == k.option) return &k;
  return nullptr;
}

std::vector<Opt> optionsOf(const CLI::App& app, const std::string& command) {
  std::vector<Opt> out;
  for (const CLI::Option* o : app.get_options()) {
    Opt p;
    p.positional = o->get_positional();
    for (const std::string& s : o->get_snames()) p.names.push_back("-" + s);
    for (const std::string& l : o->get_lnames()) p.names.push_back("--" + l);
    p.key = p.positional ? o->get_name() : p.names.back();
    p.does = clause(o->get_description());
    p.takesValue = o->get_expected_min() > 0;
    p.kind = kindOf(command, p.key);
    out.push_back(p);
  }
  return out;
}

std::vector<Command> commandsOf(const CLI::App& app) {
  std::vector<Command> out;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    out.push_back(
        {sub->get_name(), clause(sub->get_description()), optionsOf(*sub, sub->get_name())});
  return out;
}

std::string join(const std::vector<std::string>& v, const char* sep) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : sep) + x;
  return s;
}

// The options' names (not positionals), in declaration order.
std::vector<std::string> optionNames(const std::vector<Opt>& opts) {
  std::vector<std::string> names;
  for (const Opt& o : opts)
    if (!o.positional) names.insert(names.end(), o.names.begin(), o.names.end());
  return names;
}

const Opt* firstPositional(const std::vector<Opt>& opts) {
  for (const Opt& o : opts)
    if (o.positional) return &o;
  return nullptr;
}

// bash: files of a kind, for _filedir.
std::string bashFiles(const ValueKind& k) {
  if (!std::strcmp(k.files, "*")) return "_filedir";
  if (std::strchr(k.files, '|')) return std::string("_filedir '@(") + k.files + ")'";
  return std::string("_filedir ") + k.files;
}

// Single quotes for zsh and fish texts.
std::string quoted(const std::string& s, bool fish) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? (fish ? "\\'" : "'\"'\"'") : std::string(1, c);
  return q + "'";
}

// A zsh action for a value of kind `k`.
std::string zshAction(const ValueKind* k) {
  if (!k) return "";
  if (k->words) return std::string("(") + k->words + ")";
  if (!std::strcmp(k->files, "*")) return "_files";
  std::string glob = std::strchr(k->files, '|') ? std::string("*.(") + k->files + ")"
                                                : std::string("*.") + k->files;
  return "_files -g \"" + glob + "\"";
}

// zsh's help text inside [ ]: no brackets.
std::string zshHelp(std::string s) {
  for (char& c : s)
    if (c == '[' || c == ']') c = ' ';
  return s;
}

} // namespace

std::string bashCompletion(const CLI::App& app) {
  std::vector<Command> cmds = commandsOf(app);
  std::vector<std::string> top;
  for (const Command& c : cmds) top.push_back(c.name);
  for (const std::string& n : optionNames(optionsOf(app, ""))) top.push_back(n);
  std::string s = "# bash completion for kelvane, made from its command line: its commands, each\n"
                  "# command's options, and the files or words their values take.\n"
                  "_kelvane() {\n"
                  "  local cur prev words cword\n"
                  "  _init_completion || return\n"
                  "  local cmd=\"\" i\n"
                  "  for ((i = 1; i < cword; i++)); do\n"
                  "    case ${words[i]} in\n"
                  "    -*) ;;\n"
                  "    *) cmd=${words[i]} && break ;;\n"
                  "    esac\n"
                  "  done\n"
                  "  if [[ -z $cmd ]]; then\n"
                  "    mapfile -t COMPREPLY < <(compgen -W \"" +
                  join(top, " ") +
                  "\" -- \"$cur\")\n"
                  "    return\n"
                  "  fi\n"
                  "  case \"$cmd $prev\" in\n";
  for (const Command& c : cmds)
    for (const Opt& o : c.opts) {
      if (o.positional || !o.takesValue) continue;
      std::vector<std::string> pats;
      for (const std::string& n : o.names) pats.push_back("\"" + c.name + " " + n + "\"");
      s += "  " + join(pats, " | ") + ")\n";
      if (o.kind && o.kind->words)
        s += std::string("    mapfile -t COMPREPLY < <(compgen -W \"") + o.kind->words +
             "\" -- \"$cur\")\n";
      else if (o.kind)
        s += "    " + bashFiles(*o.kind) + "\n";
      s += "    return\n    ;;\n";
    }
  s += "  esac\n  local opts\n  case $cmd in\n";
  for (const Command& c : cmds)
    s += "  " + c.name + ") opts=\"" + join(optionNames(c.opts), " ") + "\" ;;\n";
  s += "  esac\n"
       "  if [[ $cur == -* ]]; then\n"
       "    mapfile -t COMPREPLY < <(compgen -W \"$opts\" -- \"$cur\")\n"
       "    return\n"
       "  fi\n"
       "  case $cmd in\n";
  for (const Command& c : cmds) {
    const Opt* p = firstPositional(c.opts);
    if (p && p->kind) s += "  " + c.name + ") " + bashFiles(*p->kind) + " ;;\n";
  }
  s += "  esac\n}\ncomplete -F _kelvane kelvane\n";
  return s;
}

std::string zshCompletion(const CLI::App& app) {
  std::vector<Command> cmds = commandsOf(app);
  std::string s = "#compdef kelvane\n"
                  "# zsh completion for kelvane, made from its command line: its commands, each\n"
                  "# command's options, and the files or words their values take.\n\n"
                  "_kelvane() {\n"
                  "  local -a commands\n"
                  "  commands=(\n";
  for (const Command& c : cmds) s += "    " + quoted(c.name + ":" + c.does, false) + "\n";
  s += "  )\n  _arguments -C";
  for (const Opt& o : optionsOf(app, ""))
    s += " '(- *)'" + (o.names.size() > 1 ? "{" + join(o.names, ",") + "}" : o.names[0]) +
         quoted("[" + zshHelp(o.does) + "]", false);
  s += " \\\n    '1: :->command' '*:: :->args'\n"
       "  case $state in\n"
       "  command) _describe 'command' commands ;;\n"
       "  args)\n"
       "    case $words[1] in\n";
  for (const Command& c : cmds) {
    s += "    " + c.name + ")\n      _arguments";
    int position = 0;
    for (const Opt& o : c.opts) {
      std::string spec;
      if (o.positional) {
        spec = quoted(std::to_string(++position) + ":" + o.key + ":" + zshAction(o.kind), false);
      } else {
        std::string value = o.takesValue ? ":value:" + zshAction(o.kind) : "";
        std::string help = "[" + zshHelp(o.does) + "]" + value;
        spec = o.names.size() > 1 ? "'(" + join(o.names, " ") + ")'{" + join(o.names, ",") + "}" +
                                        quoted(help, false)
                                  : quoted(o.names[0] + help, false);
      }
      s += " \\\n        " + spec;
    }
    s += "\n      ;;\n";
  }
  s += "    esac\n    ;;\n  esac\n}\n\n_kelvane \"$@\"\n";
  return s;
}

std::string fishCompletion(const CLI::App& app) {
  std::vector<Command> cmds = commandsOf(app);
  std::vector<std::string> names;
  for (const Command& c : cmds) names.push_back(c.name);
  std::string s = "# fish completion for kelvane, made from its command line: its commands, each\n"
                  "# command's options, and the files or words their values take.\n"
                  "set -l commands " +
                  join(names, " ") +
                  "\n"
                  "complete -c kelvane -f\n";
  std::string none = "complete -c kelvane -n \"not __fish_seen_subcommand_from $commands\"";
  auto flags = [](const Opt& o) {
    std::string f;
    for (const std::string& n : o.names)
      f += (n[1] == '-' ? " -l " + n.substr(2) : " -s " + n.substr(1));
    return f;
  };
  for (const Opt& o : optionsOf(app, ""))
    s += none + flags(o) + " -d " + quoted(o.does, true) + "\n";
  for (const Command& c : cmds) s += none + " -a " + c.name + " -d " + quoted(c.does, true) + "\n";
  for (const Command& c : cmds) {
    std::string when = "complete -c kelvane -n \"__fish_seen_subcommand_from " + c.name + "\"";
    for (const Opt& o : c.opts) {
      const ValueKind* k = o.kind;
      std::string value;
      if (k && k->words)
        value = std::string(" -x -a \"") + k->words + "\"";
      else if (k && (!std::strcmp(k->files, "*") || std::strchr(k->files, '|')))
        value = " -r -F";
      else if (k)
        value = std::string(" -r -a \"(__fish_complete_suffix .") + k->files + ")\"";
      else if (o.takesValue)
        value = " -x";
      if (o.positional) {
        if (k) s += when + value.substr(3) + "\n"; // files or words, with no option
        continue;
      }
      s += when + flags(o) + value + " -d " + quoted(o.does, true) + "\n";
    }
  }
  return s;
}
