// The project model: which scripts are top scripts, each compiled in the project folder, and
// what the compiles say about every file and every name, kept up to date file by file.
#include <algorithm>
#include <filesystem>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cerrno>
#include <tuple>
#include <unordered_set>

#include <vorn/project.h>

#include "project_explain.h"

namespace vorn {

namespace fs = std::filesystem;

namespace {

constexpr const char* ScriptSuffix = ".vs";

bool is_script_name(const std::string& name) {
    std::size_t n = strlen(ScriptSuffix);
    return name.size() > n && name.compare(name.size() - n, n, ScriptSuffix) == 0;
}

int depth_of(const std::string& key) {
    return static_cast<int>(std::count(key.begin(), key.end(), '/'));
}

// Shallower first (top scripts tend to stand at the top), then by path.
bool check_order(const std::string& a, const std::string& b) {
    int da = depth_of(a), db = depth_of(b);
    return da != db ? da < db : a < b;
}

SymbolKind symbol_kind_of(DefinitionKind kind) {
    switch (kind) {
    case DefinitionKind::Variable: return SymbolKind::Variable;
    case DefinitionKind::Constant: return SymbolKind::Constant;
    case DefinitionKind::EventLabel: return SymbolKind::EventLabel;
    case DefinitionKind::Place: return SymbolKind::Place;
    }
    return SymbolKind::Variable;
}

std::string diagnostic_key(const Diagnostic& d) {
    return d.where.file + '\n' + std::to_string(d.where.line) + ':' + std::to_string(d.where.column) +
           '-' + std::to_string(d.where.end_column) + ':' + kind_name(d.kind) + ':' +
           (d.fatal ? "F" : "") + d.text;
}

}  // namespace

std::vector<ContextDiagnostic> merge_diagnostics(const std::vector<TopCompile>& compiles) {
    std::vector<ContextDiagnostic> merged;
    std::unordered_map<std::string, std::size_t> seen;
    for (const TopCompile& compile : compiles)
        for (const Diagnostic& d : compile.result->diagnostics) {
            bool shared = d.source >= static_cast<int>(FirstScriptRecord) && d.where.file != compile.script;
            auto [found, fresh] = seen.emplace(diagnostic_key(d), merged.size());
            if (!fresh) {
                // The same diagnostic met again: one more context it arises in.
                ContextDiagnostic& first = merged[found->second];
                if (shared && (first.contexts.empty() || first.contexts.back() != compile.script))
                    first.contexts.push_back(compile.script);
                continue;
            }
            ContextDiagnostic out{d, {}, {}};
            if (shared) {
                out.context = compile.script;
                out.contexts.push_back(compile.script);
            }
            merged.push_back(std::move(out));
        }
    return merged;
}

std::string contexts_note(const std::vector<std::string>& contexts) {
    switch (contexts.size()) {
    case 0: return {};
    case 1: return "in the compile of " + contexts[0];
    case 2: return "in the compiles of " + contexts[0] + " and " + contexts[1];
    case 3: return "in the compiles of " + contexts[0] + ", " + contexts[1] + " and " + contexts[2];
    default:
        return "in the compiles of " + contexts[0] + ", " + contexts[1] + " and " +
               std::to_string(contexts.size() - 2) + " other scripts";
    }
}

int combined_status(const std::vector<TopCompile>& compiles) {
    int status = StatusClean;
    for (const TopCompile& compile : compiles) {
        if (compile.result->fatal)
            return compile.result->status;
        if (compile.result->status != StatusClean)
            status = StatusErrors;
    }
    return status;
}

// ---- Inputs --------------------------------------------------------------------------------

namespace {

// The most a snapshot holds; past it, files are read from the file system every time.
constexpr std::size_t MaxSnapshotBytes = std::size_t{32} << 20;

}  // namespace

// The project's files: served text first, then the provider the project was given (the file
// system, where only regular files within the size bound are read: a FIFO named by an include
// line would block the compile).
//
// While a snapshot is taken (one settle: every compile that one change calls for), each file
// is read once, and the lists and shared files that a thousand top scripts include are not
// opened a thousand times; the compiles of one batch see the files as they were when first
// read. What is served is never kept there: serve() and forget() happen between batches.
class Project::Files : public OverlayProvider {
public:
    Files(SourceProvider& base, std::string folder) : OverlayProvider(base, std::move(folder)) {}

    void take_snapshot() { snapshot_ = true; }
    void drop_snapshot() {
        snapshot_ = false;
        opened_.clear();
        identified_.clear();
        snapshot_bytes_ = 0;
    }

    std::unique_ptr<InputFile> open(const std::string& path) override {
        if (!snapshot_) {
            std::unique_ptr<InputFile> file = OverlayProvider::open(path);
            refusal_ = OverlayProvider::refusal();
            return file;
        }
        auto found = opened_.find(path);
        if (found != opened_.end()) {
            refusal_ = found->second.refusal;
            if (!found->second.bytes)
                return nullptr;
            return open_text(found->second.bytes, found->second.id);
        }
        std::unique_ptr<InputFile> file = OverlayProvider::open(path);
        refusal_ = OverlayProvider::refusal();
        if (!file) {
            opened_.emplace(path, Opened{nullptr, {}, refusal_});
            return nullptr;
        }
        // Served text is read from the caller's own bytes, not copied: nothing to keep.
        if (served(path))
            return file;
        auto bytes = std::make_shared<std::string>();
        unsigned char chunk[1 << 16];
        for (;;) {
            long got = file->read(chunk, sizeof chunk);
            if (got < 0) {
                // A read error stays the compile's to see: the file is opened again, not kept.
                std::unique_ptr<InputFile> again = OverlayProvider::open(path);
                refusal_ = OverlayProvider::refusal();
                return again;
            }
            if (got == 0)
                break;
            bytes->append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(got));
        }
        FileId id = file->id();
        if (snapshot_bytes_ + bytes->size() <= MaxSnapshotBytes) {
            snapshot_bytes_ += bytes->size();
            opened_.emplace(path, Opened{bytes, id, OpenRefusal::None});
        }
        return open_text(std::move(bytes), id);
    }

    std::optional<FileId> identify(const std::string& path) override {
        if (!snapshot_)
            return OverlayProvider::identify(path);
        auto found = identified_.find(path);
        if (found == identified_.end())
            found = identified_.emplace(path, OverlayProvider::identify(path)).first;
        return found->second;
    }

    OpenRefusal refusal() const override { return refusal_; }

private:
    struct Opened {
        std::shared_ptr<const std::string> bytes;  // nullptr: it could not be opened
        FileId id;
        OpenRefusal refusal;
    };
    bool snapshot_ = false;
    std::unordered_map<std::string, Opened> opened_;
    std::unordered_map<std::string, std::optional<FileId>> identified_;
    std::size_t snapshot_bytes_ = 0;
    OpenRefusal refusal_ = OpenRefusal::None;
};

struct Project::Compiled {
    // Shared with whoever holds it past the next compile (an editor's open documents): a
    // recompile makes a new result and leaves this one as it is.
    std::shared_ptr<const CompileResult> result;
    // Every file the compile read or tried to read (the lists too), and those that an include
    // line opened, as keys.
    std::unordered_set<std::string> read;
    std::vector<std::string> included;
    bool stale = false;
};

namespace {

std::unique_ptr<SourceProvider> regular_files() {
    auto disk = std::make_unique<FileSystemProvider>();
    disk->open_regular_files_only();
    return disk;
}

std::string absolute_folder(const std::string& folder) {
    std::string normal = fs::absolute(folder.empty() ? "." : folder).lexically_normal().string();
    if (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

}  // namespace

Project::Project(std::string folder, WalkLimits limits)
    : folder_(absolute_folder(folder)),
      limits_(limits),
      own_files_(regular_files()),
      base_(own_files_.get()),
      files_(std::make_unique<Files>(*base_, folder_)),
      compiler_(std::make_unique<Compiler>()) {}

Project::Project(std::string folder, SourceProvider& files, WalkLimits limits)
    : folder_(absolute_folder(folder)),
      limits_(limits),
      base_(&files),
      files_(std::make_unique<Files>(*base_, folder_)),
      compiler_(std::make_unique<Compiler>()) {}

Project::~Project() = default;

std::string Project::key(const std::string& path) const {
    fs::path p = fs::path(path).lexically_normal();
    if (p.is_absolute()) {
        fs::path inner = p.lexically_relative(folder_);
        if (!inner.empty() && *inner.begin() != "..")
            p = inner;
    }
    std::string text = p.string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// ---- The walk ------------------------------------------------------------------------------

namespace {

struct Walk {
    SourceProvider* files;
    std::string root;
    WalkLimits limits;
    std::set<std::pair<uint64_t, uint64_t>> folders_seen;
    std::vector<std::string> scripts;
    std::size_t entries = 0;
    bool too_deep = false;
    bool too_many = false;
    // Folders that could not be read, and why.
    std::vector<std::pair<std::string, std::string>> unreadable;
};

void walk_folder(Walk& w, const std::string& relative, int depth) {
    std::string path = relative.empty() ? w.root : w.root + "/" + relative;
    FolderListing listing = w.files->list(path, w.limits.entries - w.entries);
    if (!listing.error.empty()) {
        w.unreadable.push_back({path, listing.error});
        return;
    }
    w.entries += listing.names.size();
    w.too_many = w.too_many || listing.cut;
    std::vector<std::string> folders;
    for (const std::string& name : listing.names) {
        std::string inner = relative.empty() ? name : relative + "/" + name;
        // Through symbolic links: a link to a script or a folder counts as one.
        std::optional<FileInfo> info = w.files->stat(w.root + "/" + inner);
        if (!info)
            continue;
        if (info->kind == FileKind::File && is_script_name(name))
            w.scripts.push_back(inner);
        // A folder that holds both lists is a project of its own: its scripts are not ours.
        else if (info->kind == FileKind::Folder && w.folders_seen.insert({info->id.device, info->id.inode}).second &&
                 !holds_lists(*w.files, w.root + "/" + inner))
            folders.push_back(inner);
    }
    for (const std::string& folder : folders) {
        if (depth == w.limits.depth) {
            w.too_deep = true;
            continue;
        }
        if (w.too_many)
            return;
        walk_folder(w, folder, depth + 1);
    }
}

}  // namespace

void Project::walk() {
    Walk w;
    w.files = base_;
    w.root = folder_;
    w.limits = limits_;
    if (std::optional<FileInfo> top = base_->stat(folder_))
        w.folders_seen.insert({top->id.device, top->id.inode});
    walk_folder(w, "", 0);
    notes_.clear();
    if (w.too_deep)
        notes_.push_back({folder_, "folders more than " + std::to_string(limits_.depth) +
                                       " levels deep were not searched for scripts"});
    if (w.too_many)
        notes_.push_back({folder_, "the search for scripts stopped after " +
                                       std::to_string(limits_.entries) + " entries"});
    for (const auto& [path, error] : w.unreadable)
        notes_.push_back({path, "this folder could not be read (" + error + "): it was not searched for scripts"});
    stats_.entries = w.entries;
    std::sort(w.scripts.begin(), w.scripts.end(), check_order);
    candidates_ = std::move(w.scripts);
}

// ---- Compiles ------------------------------------------------------------------------------

namespace {

// Writes every path of a result the way the project keys it, so that one file has one name
// in every compile.
template <typename Key>
void key_paths(CompileResult& r, const Key& key) {
    std::unordered_map<std::string, std::string> keys;
    auto rekey = [&](std::string& path) {
        if (path.empty())
            return;
        auto found = keys.find(path);
        if (found == keys.end())
            found = keys.emplace(path, key(path)).first;
        path = found->second;
    };
    for (SourceRecord& file : r.files) {
        rekey(file.path);
        rekey(file.meant);
    }
    for (Diagnostic& d : r.diagnostics) {
        rekey(d.where.file);
        for (DiagnosticNote& note : d.notes)
            rekey(note.where.file);
    }
    for (Definition& d : r.definitions)
        rekey(d.where.file);
    for (Use& use : r.uses)
        rekey(use.where.file);
}

}  // namespace

CompileOptions Project::compile_options() const {
    CompileOptions options;
    options.keep_going = true;
    options.record_lines = true;
    options.record_uses = true;
    options.warnings = warnings_;
    options.explain = true;
    options.max_diagnostics = max_diagnostics_;
    return options;
}

void Project::compile_top(const std::string& script) {
    CompileOptions options = compile_options();
    options.stop = stop_;
    NullSink quiet;
    auto compiled = std::make_unique<Compiled>();
    CompileResult result = compiler_->compile(script, *files_, quiet, options);
    ++stats_.compiles;
    // An abandoned compile stays stale, and so is compiled again by the next settle.
    if (result.stopped) {
        compiled->stale = true;
        interrupted_ = true;
    }
    key_paths(result, [this](const std::string& path) { return key(path); });
    for (const SourceRecord& file : result.files) {
        compiled->read.insert(file.path);
        if (file.includer >= 0 && file.opened)
            compiled->included.push_back(file.path);
        // An include cut at a '/' still names the file its writer meant: that file is no top
        // script (no one compiles it alone), though this compile could not read it.
        if (file.includer >= 0 && !file.opened && !file.meant.empty())
            compiled->included.push_back(file.meant);
    }
    compiled->result = std::make_shared<const CompileResult>(std::move(result));
    compiled_[script] = std::move(compiled);
    symbols_stale_ = true;
}

// Compiles every top script that has no current compile, and drops the compiles of scripts
// that turn out to be included. A script is a top script when no kept compile includes it;
// in an include cycle, the first of its scripts in check order is the one compiled.
void Project::settle() {
    interrupted_ = false;
    files_->take_snapshot();
    struct Drop {
        Files& files;
        ~Drop() { files.drop_snapshot(); }
    } drop{*files_};
    // Every pass either ends or drops a compile, and a dropped script is not compiled again
    // while what includes it stands, so the passes are bounded.
    for (std::size_t pass = 0; pass <= candidates_.size() + 1; ++pass) {
        std::unordered_set<std::string> candidates(candidates_.begin(), candidates_.end());
        bool dropped = false;
        for (auto it = compiled_.begin(); it != compiled_.end();) {
            if (!candidates.count(it->first)) {
                it = compiled_.erase(it);
                symbols_stale_ = true;
            } else {
                ++it;
            }
        }
        std::unordered_set<std::string> included;
        for (const auto& [script, compiled] : compiled_)
            if (!compiled->stale)
                included.insert(compiled->included.begin(), compiled->included.end());
        tops_.clear();
        for (const std::string& script : candidates_) {
            auto found = compiled_.find(script);
            if (included.count(script)) {
                if (found != compiled_.end()) {
                    compiled_.erase(found);
                    symbols_stale_ = true;
                    dropped = true;
                }
                continue;
            }
            if (found == compiled_.end() || found->second->stale) {
                compile_top(script);
                if (interrupted_)
                    return;
            }
            const Compiled& compiled = *compiled_[script];
            included.insert(compiled.included.begin(), compiled.included.end());
            tops_.push_back(script);
        }
        // A top script that a later one includes is a shared file after all.
        std::vector<std::string> kept;
        for (const std::string& script : tops_) {
            if (included.count(script)) {
                compiled_.erase(script);
                symbols_stale_ = true;
                dropped = true;
            } else {
                kept.push_back(script);
            }
        }
        tops_ = std::move(kept);
        if (!dropped)
            return;
    }
}

bool Project::owns(const std::string& file) const {
    if (file.empty() || file[0] == '/' || file.compare(0, 3, "../") == 0)
        return false;
    // No folder between the file and ours holds both lists.
    std::string absolute = folder_ == "/" ? "/" + file : folder_ + "/" + file;
    return find_project_folder(*base_, absolute, folder_) == folder_;
}

void Project::load() {
    walk();
    settle();
}

void Project::invalidate(const std::string& file) {
    // Every compile reads the lists first, and one that could not open a list has no record
    // of the other: a list concerns them all.
    bool list = file == EventListFile || file == CommandListFile;
    // A folder concerns every file under it.
    std::string under = file + "/";
    for (auto& [script, compiled] : compiled_) {
        if (list || compiled->read.count(file))
            compiled->stale = true;
        else
            for (const std::string& read : compiled->read)
                if (read.compare(0, under.size(), under) == 0) {
                    compiled->stale = true;
                    break;
                }
    }
}

void Project::changed(const std::string& path) {
    invalidate(key(path));
    settle();
}

void Project::added(const std::string& path) {
    std::string file = key(path);
    std::optional<FileInfo> info = base_->stat(files_->resolve(file));
    bool on_disk = info && info->kind == FileKind::File;
    // A folder (its scripts, or lists that make it a project of its own) or a list below
    // ours: the walk is made again.
    std::string name = fs::path(file).filename().string();
    if ((info && info->kind == FileKind::Folder) ||
        (file.find('/') != std::string::npos && (name == EventListFile || name == CommandListFile))) {
        walk();
    }
    if (is_script_name(file) && on_disk && owns(file) &&
        std::find(candidates_.begin(), candidates_.end(), file) == candidates_.end())
        candidates_.insert(std::upper_bound(candidates_.begin(), candidates_.end(), file, check_order),
                           file);
    invalidate(file);
    settle();
}

void Project::removed(const std::string& path) {
    std::string file = key(path);
    std::string under = file + "/";
    // The file, or every script of a folder.
    std::erase_if(candidates_, [&](const std::string& script) {
        return script == file || script.compare(0, under.size(), under) == 0;
    });
    // A nested project's list gone: its folder's scripts are ours again.
    std::string name = fs::path(file).filename().string();
    if (file.find('/') != std::string::npos && (name == EventListFile || name == CommandListFile))
        walk();
    invalidate(file);
    settle();
}

void Project::renamed(const std::string& from, const std::string& to) {
    std::string old_file = key(from);
    candidates_.erase(std::remove(candidates_.begin(), candidates_.end(), old_file), candidates_.end());
    invalidate(old_file);
    added(to);
}

void Project::serve(const std::string& path, std::string text) {
    serve(path, std::make_shared<const std::string>(std::move(text)));
}

void Project::serve(const std::string& path, std::shared_ptr<const std::string> text) {
    std::string file = key(path);
    files_->serve(file, std::move(text));
    // An unsaved new script counts as a script as soon as it is served.
    if (is_script_name(file) && owns(file) &&
        std::find(candidates_.begin(), candidates_.end(), file) == candidates_.end())
        candidates_.insert(std::upper_bound(candidates_.begin(), candidates_.end(), file, check_order),
                           file);
    changed(file);
}

void Project::forget(const std::string& path) {
    std::string file = key(path);
    files_->forget(file);
    if (!base_->stat(files_->resolve(file)))
        candidates_.erase(std::remove(candidates_.begin(), candidates_.end(), file), candidates_.end());
    changed(file);
}

// ---- Queries -------------------------------------------------------------------------------

std::vector<std::string> Project::scripts() const {
    std::set<std::string> all(candidates_.begin(), candidates_.end());
    for (const auto& [script, compiled] : compiled_)
        all.insert(compiled->included.begin(), compiled->included.end());
    return {all.begin(), all.end()};
}

bool Project::is_top(const std::string& path) const { return compiled_.count(key(path)) > 0; }

const CompileResult* Project::compile_of(const std::string& top) const {
    auto found = compiled_.find(key(top));
    return found == compiled_.end() ? nullptr : found->second->result.get();
}

std::shared_ptr<const CompileResult> Project::shared_compile_of(const std::string& top) const {
    auto found = compiled_.find(key(top));
    return found == compiled_.end() ? nullptr : found->second->result;
}

std::vector<std::string> Project::tops_reaching(const std::string& path) const {
    std::string file = key(path);
    std::vector<std::string> tops;
    for (const std::string& top : tops_) {
        const Compiled& compiled = *compiled_.at(top);
        for (const SourceRecord& record : compiled.result->files)
            if (record.opened && record.path == file) {
                tops.push_back(top);
                break;
            }
    }
    return tops;
}

std::vector<ContextView> Project::contexts_reaching(const std::string& path) const {
    std::string file = key(path);
    std::vector<ContextView> views;
    for (const std::string& top : tops_) {
        const CompileResult& result = *compiled_.at(top)->result;
        for (std::size_t i = 0; i < result.files.size(); ++i)
            if (result.files[i].opened && result.files[i].path == file) {
                views.push_back(ContextView{top, &result, static_cast<int>(i)});
                break;
            }
    }
    return views;
}

std::vector<ContextView> Project::contexts_reaching(const std::string& path, uint32_t line) const {
    std::vector<ContextView> views = contexts_reaching(path);
    // A compile that ended fatally reached only the lines it recorded.
    std::erase_if(views, [&](const ContextView& view) {
        if (!view.result->fatal)
            return false;
        for (const LineRecord& record : view.result->lines)
            if (static_cast<int>(record.file) == view.source && record.line >= line)
                return false;
        return true;
    });
    return views;
}

std::vector<Diagnostic> Project::diagnostics_in_context(const std::string& top, const std::string& path) const {
    std::vector<Diagnostic> found;
    const CompileResult* result = compile_of(top);
    if (!result)
        return found;
    std::string file = path.empty() ? std::string() : key(path);
    for (const Diagnostic& d : result->diagnostics)
        if (file.empty() || d.where.file == file)
            found.push_back(d);
    return found;
}

namespace {

bool same_place(const Location& a, const Location& b) {
    return a.file == b.file && a.line == b.line && a.column == b.column;
}

// Whether symbol is what use (or definition) of result stands for.
bool resolves_to(const Symbol& symbol, const CompileResult& result, const Use& use) {
    auto target = static_cast<std::size_t>(use.target);
    switch (use.kind) {
    case UseKind::Variable:
    case UseKind::Constant: {
        if (use.target < 0 || target >= result.definitions.size())
            return false;
        const Definition& d = result.definitions[target];
        return symbol.kind == symbol_kind_of(d.kind) &&
               (d.where.file.empty() ? symbol.name == d.name : same_place(symbol.definition, d.where));
    }
    case UseKind::Condition: return symbol.kind == SymbolKind::Condition && symbol.name == ConditionKeywordTable[target];
    case UseKind::Command:
        return symbol.kind == SymbolKind::Command && target < result.lists.commands.size() &&
               symbol.name == result.lists.commands[target].name;
    case UseKind::Event:
        return symbol.kind == SymbolKind::Event && target < result.lists.events.size() &&
               symbol.name == result.lists.events[target].name;
    case UseKind::Include:
        return symbol.kind == SymbolKind::Include && target < result.files.size() &&
               symbol.name == result.files[target].path;
    }
    return false;
}

}  // namespace

std::vector<ContextSymbol> Project::symbols_in_contexts(const std::string& path, uint32_t line, uint32_t column) const {
    std::vector<const Symbol*> candidates = symbols_at(path, line, column);
    std::vector<ContextSymbol> found;
    if (candidates.empty())
        return found;
    auto covers = [&](const Location& where) {
        return where.line == line && where.column <= column &&
               column < std::max(where.end_column, where.column + 1);
    };
    for (const ContextView& view : contexts_reaching(path)) {
        const CompileResult& r = *view.result;
        const Symbol* hit = nullptr;
        for (const Definition& d : r.definitions)
            if (d.source == view.source && covers(d.where))
                for (const Symbol* symbol : candidates)
                    if (!hit && symbol->kind == symbol_kind_of(d.kind) && same_place(symbol->definition, d.where))
                        hit = symbol;
        for (const Use& use : r.uses)
            if (!hit && use.source == view.source && covers(use.where))
                for (const Symbol* symbol : candidates)
                    if (!hit && resolves_to(*symbol, r, use))
                        hit = symbol;
        if (hit)
            found.push_back(ContextSymbol{view.top, hit});
    }
    return found;
}

std::vector<TopCompile> Project::ordered_compiles() const {
    std::vector<TopCompile> compiles;
    for (const std::string& top : tops_)
        compiles.push_back(TopCompile{top, compiled_.at(top)->result.get()});
    return compiles;
}

std::vector<ContextDiagnostic> Project::diagnostics() const {
    std::vector<TopCompile> compiles = ordered_compiles();
    std::vector<ContextDiagnostic> merged = merge_diagnostics(compiles);
    fold_over_contexts(merged);
    if (warnings_.has(DiagnosticKind::UnusedName))
        for (Diagnostic& unused : unused_names())
            merged.push_back(ContextDiagnostic{std::move(unused), {}, {}});
    explain_across_files(compiles, merged);
    return merged;
}

std::vector<ContextDiagnostic> Project::diagnostics_of(const std::string& path) const {
    std::string file = key(path);
    std::vector<ContextDiagnostic> all = diagnostics();
    std::vector<ContextDiagnostic> in_file;
    for (ContextDiagnostic& d : all)
        if (d.diagnostic.where.file == file)
            in_file.push_back(std::move(d));
    return in_file;
}

int Project::status() const { return combined_status(ordered_compiles()); }

// ---- Names ---------------------------------------------------------------------------------

namespace {

// A use's range with its file as a number: a shared file's uses come again with every top
// script that includes it, so they are counted once each by this key.
struct RangeKey {
    uint32_t file;
    uint32_t line;
    uint32_t column;
    uint32_t end;
    bool operator==(const RangeKey&) const = default;
};

// A use of a symbol, before they are sorted and the repeated ones dropped.
struct SymbolUse {
    uint32_t symbol;
    RangeKey range;
};

struct SymbolTable {
    std::vector<Symbol>& symbols;
    std::unordered_map<std::string, std::size_t> by_key;
    std::vector<SymbolUse> uses;
    std::unordered_map<std::string, uint32_t> file_ids;
    std::vector<std::string> files;

    std::size_t get(const std::string& key, SymbolKind kind, const std::string& name, const Location& definition) {
        auto [found, fresh] = by_key.emplace(key, symbols.size());
        if (fresh)
            symbols.push_back(Symbol{kind, name, definition, {}});
        return found->second;
    }
    uint32_t file_id(const std::string& path) {
        auto [found, fresh] = file_ids.emplace(path, static_cast<uint32_t>(files.size()));
        if (fresh)
            files.push_back(path);
        return found->second;
    }
};

std::string location_key(const Location& where) {
    return where.file + ':' + std::to_string(where.line) + ':' + std::to_string(where.column);
}

// Looks a symbol up once per compile for each entry of a small table (the keywords, the
// commands, the events, the files), not once per use.
template <typename Make>
std::size_t cached(std::vector<std::size_t>& cache, std::size_t index, Make make) {
    constexpr std::size_t None = SIZE_MAX;
    if (cache.size() <= index)
        cache.resize(index + 1, None);
    if (cache[index] == None)
        cache[index] = make();
    return cache[index];
}

}  // namespace

void Project::build_symbols() const {
    symbols_.clear();
    SymbolTable table{symbols_, {}, {}, {}, {}};
    for (const std::string& top : tops_) {
        const CompileResult& r = *compiled_.at(top)->result;
        std::vector<std::size_t> of_definition(r.definitions.size());
        for (std::size_t i = 0; i < r.definitions.size(); ++i) {
            const Definition& d = r.definitions[i];
            SymbolKind kind = symbol_kind_of(d.kind);
            // The predefined variables have no place; their name is who they are.
            std::string key = std::to_string(static_cast<int>(kind)) + ':' +
                              (d.where.file.empty() ? d.name : location_key(d.where));
            of_definition[i] = table.get(key, kind, d.name, d.where);
        }
        std::vector<std::size_t> conditions, commands, events, files;
        std::vector<uint32_t> file_ids(r.files.size());
        for (std::size_t i = 0; i < r.files.size(); ++i)
            file_ids[i] = table.file_id(r.files[i].path);
        for (const Use& use : r.uses) {
            std::size_t symbol = 0;
            auto target = static_cast<std::size_t>(use.target);
            switch (use.kind) {
            case UseKind::Variable:
            case UseKind::Constant:
                if (use.target < 0 || target >= of_definition.size())
                    continue;
                symbol = of_definition[target];
                break;
            case UseKind::Condition:
                symbol = cached(conditions, target, [&] {
                    return table.get(std::string("c:") + ConditionKeywordTable[target], SymbolKind::Condition,
                                     ConditionKeywordTable[target], Location{});
                });
                break;
            case UseKind::Command:
                symbol = cached(commands, target, [&] {
                    const char* name = r.lists.commands[target].name;
                    return table.get(std::string("m:") + name, SymbolKind::Command, name,
                                     Location{CommandListFile, 0, 0, 0});
                });
                break;
            case UseKind::Event:
                symbol = cached(events, target, [&] {
                    const char* name = r.lists.events[target].name;
                    return table.get(std::string("e:") + name, SymbolKind::Event, name,
                                     Location{EventListFile, 0, 0, 0});
                });
                break;
            case UseKind::Include:
                symbol = cached(files, target, [&] {
                    const std::string& path = r.files[target].path;
                    return table.get("i:" + path, SymbolKind::Include, path, Location{path, 0, 0, 0});
                });
                break;
            }
            uint32_t file = use.source >= 0 ? file_ids[static_cast<std::size_t>(use.source)]
                                            : table.file_id(use.where.file);
            table.uses.push_back(SymbolUse{static_cast<uint32_t>(symbol),
                                           RangeKey{file, use.where.line, use.where.column, use.where.end_column}});
        }
    }
    // Files numbered in path order, so that uses sort by path without comparing strings.
    std::vector<uint32_t> order(table.files.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return table.files[a] < table.files[b]; });
    std::vector<uint32_t> rank(order.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        rank[order[i]] = i;
    auto key = [&](const SymbolUse& u) {
        return std::tuple(u.symbol, rank[u.range.file], u.range.line, u.range.column, u.range.end);
    };
    std::sort(table.uses.begin(), table.uses.end(),
              [&](const SymbolUse& a, const SymbolUse& b) { return key(a) < key(b); });
    table.uses.erase(std::unique(table.uses.begin(), table.uses.end(),
                                 [](const SymbolUse& a, const SymbolUse& b) {
                                     return a.symbol == b.symbol && a.range == b.range;
                                 }),
                     table.uses.end());
    for (const SymbolUse& u : table.uses)
        symbols_[u.symbol].uses.push_back(
            Location{table.files[u.range.file], u.range.line, u.range.column, u.range.end});
    index_occurrences();
    symbols_stale_ = false;
}

void Project::index_occurrences() const {
    occurrences_.clear();
    auto add = [this](const Location& where, std::size_t symbol) {
        // A list or a file as a whole (line 0) is no place on a line.
        if (where.line == 0)
            return;
        occurrences_[where.file].push_back(
            Occurrence{where.line, where.column, where.end_column, static_cast<uint32_t>(symbol)});
    };
    for (std::size_t i = 0; i < symbols_.size(); ++i) {
        add(symbols_[i].definition, i);
        for (const Location& use : symbols_[i].uses)
            add(use, i);
    }
    for (auto& [file, found] : occurrences_)
        std::sort(found.begin(), found.end(), [](const Occurrence& a, const Occurrence& b) {
            return std::tie(a.line, a.column, a.symbol) < std::tie(b.line, b.column, b.symbol);
        });
}

const std::vector<Symbol>& Project::symbols() const {
    if (symbols_stale_)
        build_symbols();
    return symbols_;
}

std::vector<const Symbol*> Project::symbols_at(const std::string& path, uint32_t line, uint32_t column) const {
    if (symbols_stale_)
        build_symbols();
    auto in_file = occurrences_.find(key(path));
    if (in_file == occurrences_.end())
        return {};
    const std::vector<Occurrence>& found = in_file->second;
    auto it = std::lower_bound(found.begin(), found.end(), line,
                               [](const Occurrence& o, uint32_t wanted) { return o.line < wanted; });
    std::vector<uint32_t> hits;
    for (; it != found.end() && it->line == line && it->column <= column; ++it)
        if (column < std::max(it->end_column, it->column + 1))
            hits.push_back(it->symbol);
    // In the order of symbols(), each once.
    std::sort(hits.begin(), hits.end());
    hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
    std::vector<const Symbol*> symbols;
    for (uint32_t i : hits)
        symbols.push_back(&symbols_[i]);
    return symbols;
}

}  // namespace vorn
