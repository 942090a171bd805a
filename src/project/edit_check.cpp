// Edits checked against every compile they affect, in memory, before they are made.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>

#include <vorn/compiler.h>
#include <vorn/edit_check.h>
#include <vorn/fixes.h>
#include <vorn/grammar.h>
#include <vorn/output.h>
#include <vorn/read_file.h>

namespace vorn {

namespace {

// The largest file read to be edited.
constexpr std::size_t MaxEditedFileSize = std::size_t{64} << 20;

using IdKey = std::pair<uint64_t, uint64_t>;

IdKey key_of(const FileId& id) { return {id.device, id.inode}; }

// Who the files are and what they hold, as read once for all the compiles of one checker:
// a shared file that a thousand top scripts include is looked up and read once, not once
// per compile. Only regular files are read (an include naming a FIFO must not block).
struct DiskCache {
    std::mutex lock;  // compiles run side by side
    std::map<std::string, std::optional<FileId>> ids;  // by absolute path
    // Read in place by the compiles: a map's entries stay where they are while others are
    // added, and the checker outlives every compile it runs.
    std::map<IdKey, std::optional<std::string>> texts;
};

// Compiles checked side by side: at most this many at once, each run given at least this
// many compiles (fewer are not worth a thread).
constexpr std::size_t MaxCheckThreads = 4;
constexpr std::size_t MinContextsPerThread = 16;

// The file system (or the checker's provider), with some files (by identity, whatever name
// reaches it) served from memory: the edited texts (over), the texts the compiles read now
// (base), and what the disk holds, read once (cache). A provider given is asked under the
// cache's lock alone, as compiles run side by side.
class IdentityOverlay : public FileSystemProvider {
public:
    IdentityOverlay(std::string folder, const std::map<IdKey, std::string>& base,
                    const std::map<IdKey, std::string>* over, DiskCache& cache, SourceProvider* files)
        : FileSystemProvider(folder), folder_(std::move(folder)), base_(base), over_(over), cache_(cache), files_(files) {}
    std::optional<FileId> identify(const std::string& path) override {
        std::string name = resolve(path);
        std::lock_guard<std::mutex> hold(cache_.lock);
        auto at = cache_.ids.find(name);
        if (at == cache_.ids.end())
            at = cache_.ids.emplace(name, files_ ? files_->identify(name) : FileSystemProvider::identify(path)).first;
        return at->second;
    }
    std::unique_ptr<InputFile> open(const std::string& path) override {
        std::optional<FileId> id = identify(path);
        if (!id)
            return open_anyway(path);
        if (over_) {
            auto at = over_->find(key_of(*id));
            if (at != over_->end())
                return open_text(std::string_view(at->second), *id);
        }
        auto at = base_.find(key_of(*id));
        if (at != base_.end())
            return open_text(std::string_view(at->second), *id);
        const std::string* text = nullptr;
        {
            std::lock_guard<std::mutex> hold(cache_.lock);
            auto read = cache_.texts.find(key_of(*id));
            if (read == cache_.texts.end()) {
                FileSystemProvider disk(folder_);
                disk.open_regular_files_only(MaxEditedFileSize);
                std::optional<std::string> whole = files_ ? read_whole_file(*files_, resolve(path), MaxEditedFileSize)
                                                          : read_whole_file(disk, path, MaxEditedFileSize);
                read = cache_.texts.emplace(key_of(*id), std::move(whole)).first;
            }
            if (read->second)
                text = &*read->second;
        }
        // Not a regular file, or too large: opened as the compiler opens any other.
        if (!text)
            return open_anyway(path);
        return open_text(std::string_view(*text), *id);
    }

private:
    std::unique_ptr<InputFile> open_anyway(const std::string& path) {
        if (!files_)
            return FileSystemProvider::open(path);
        std::lock_guard<std::mutex> hold(cache_.lock);
        return files_->open(resolve(path));
    }

    std::string folder_;
    const std::map<IdKey, std::string>& base_;
    const std::map<IdKey, std::string>* over_;
    DiskCache& cache_;
    SourceProvider* files_;
};

struct Context {
    std::string folder;
    std::string script;
    const CompileResult* before;
    std::optional<CompileResult> result;
};

// A diagnostic as two compiles are compared: what it says and where, in the terms of the
// compile after the edit (lines moved down by the line ends the edit added above them).
using DiagnosticKey = std::tuple<int, int, IdKey, std::string, uint32_t, uint32_t, std::string>;

}  // namespace

struct EditChecker::Impl {
    CompileOptions options;
    Compiler compiler;
    NullSink quiet;
    std::vector<Context> contexts;
    std::set<IdKey> scripts;
    // The texts the compiles read now, by identity; with the path and text first read.
    std::map<IdKey, std::string> texts;
    std::map<IdKey, std::pair<std::string, std::string>> first_read;
    DiskCache disk;
    SourceProvider* provider = nullptr;  // nullptr: the file system
    SideBySide side_by_side;             // empty: one compile after another

    CompileResult compile(Context& c, const std::map<IdKey, std::string>* over) {
        IdentityOverlay files(c.folder, texts, over, disk, provider);
        return compiler.compile(c.script, files, quiet, options);
    }

    // The contexts (by index) compiled with over served, side by side when the host gives a
    // runner (up to MaxCheckThreads at once), each run with a compiler of its own.
    std::vector<CompileResult> compile_all(const std::vector<std::size_t>& which,
                                           const std::map<IdKey, std::string>& over) {
        std::vector<CompileResult> out(which.size());
        std::size_t runs = std::min(MaxCheckThreads, which.size() / MinContextsPerThread);
        if (runs < 2 || !side_by_side) {
            for (std::size_t n = 0; n < which.size(); ++n)
                out[n] = compile(contexts[which[n]], &over);
            return out;
        }
        std::atomic<std::size_t> next{0};
        auto work = [&] {
            Compiler own;
            NullSink silent;
            for (std::size_t n = next++; n < which.size(); n = next++) {
                Context& c = contexts[which[n]];
                IdentityOverlay files(c.folder, texts, &over, disk, provider);
                out[n] = own.compile(c.script, files, silent, options);
            }
        };
        side_by_side(runs, work);
        return out;
    }

    std::optional<FileId> identify(Context& c, const std::string& path) {
        if (path.empty())
            return std::nullopt;
        return IdentityOverlay(c.folder, texts, nullptr, disk, provider).identify(path);
    }

    const CompileResult& result(std::size_t i) {
        Context& c = contexts[i];
        if (c.result)
            return *c.result;
        if (c.before)
            return *c.before;
        c.result = compile(c, nullptr);
        return *c.result;
    }

    bool opens(Context& c, const CompileResult& r, const IdKey& file) { return opens_any(c, r, {file}); }

    // Whether the compile opened one of the files: each of its files looked up once, however
    // many files are edited (a rename edits a thousand).
    bool opens_any(Context& c, const CompileResult& r, const std::set<IdKey>& files) {
        for (const SourceRecord& f : r.files)
            if (f.opened) {
                std::optional<FileId> id = identify(c, f.path);
                if (id && files.count(key_of(*id)))
                    return true;
            }
        return false;
    }
};

void run_on_threads(std::size_t count, const std::function<void()>& work) {
    count = std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < count; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

EditChecker::EditChecker(CompileOptions options, SourceProvider* files, SideBySide side_by_side)
    : impl_(std::make_unique<Impl>()) {
    impl_->provider = files;
    impl_->side_by_side = std::move(side_by_side);
    options.keep_going = true;
    options.explain = true;
    options.output_path.reset();
    options.line_observer = nullptr;
    options.keep_diagnostics = true;
    options.record_lines = false;
    options.record_uses = false;
    options.stop = nullptr;
    impl_->options = std::move(options);
}

EditChecker::~EditChecker() = default;

bool EditChecker::add_context(const std::string& folder, const std::string& script, const CompileResult* before) {
    std::optional<FileId> id = identify_at(folder, script);
    if (!id || !impl_->scripts.insert(key_of(*id)).second)
        return false;
    impl_->contexts.push_back(Context{folder, script, before, std::nullopt});
    return true;
}

void EditChecker::serve(const std::string& path, std::string text) {
    if (std::optional<FileId> id = identify_at({}, path)) {
        impl_->first_read[key_of(*id)] = {path, text};
        impl_->texts[key_of(*id)] = std::move(text);
    }
}

std::size_t EditChecker::context_count() const { return impl_->contexts.size(); }
const std::string& EditChecker::context_script(std::size_t i) const { return impl_->contexts[i].script; }
const std::string& EditChecker::context_folder(std::size_t i) const { return impl_->contexts[i].folder; }
const CompileResult& EditChecker::result(std::size_t i) { return impl_->result(i); }

std::optional<FileId> EditChecker::identify_at(const std::string& folder, const std::string& path) {
    FileSystemProvider disk(folder);
    return impl_->provider ? impl_->provider->identify(disk.resolve(path)) : disk.identify(path);
}

std::optional<FileId> EditChecker::identify(std::size_t i, const std::string& path) {
    return impl_->identify(impl_->contexts[i], path);
}

std::string EditChecker::absolute(std::size_t i, const std::string& path) const {
    std::filesystem::path p(path);
    if (p.is_relative())
        p = std::filesystem::path(impl_->contexts[i].folder) / p;
    return p.lexically_normal().string();
}

std::vector<std::size_t> EditChecker::reaching(const FileId& file) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < impl_->contexts.size(); ++i)
        if (impl_->opens(impl_->contexts[i], impl_->result(i), key_of(file)))
            out.push_back(i);
    return out;
}

const std::string* EditChecker::text(const FileId& file, const std::string& path) {
    IdKey k = key_of(file);
    auto at = impl_->texts.find(k);
    if (at != impl_->texts.end())
        return &at->second;
    FileSystemProvider disk;
    SourceProvider& files = impl_->provider ? *impl_->provider : disk;
    std::optional<FileId> now = files.identify(path);
    if (!now || !(*now == file))
        return nullptr;
    std::optional<std::string> read = read_whole_file(files, path, MaxEditedFileSize);
    if (!read)
        return nullptr;
    impl_->first_read[k] = {path, *read};
    return &(impl_->texts[k] = std::move(*read));
}

namespace {

// Where a line of an edited file stands after the edit, and whether the edit touched it.
struct LineMap {
    std::vector<std::pair<uint32_t, uint32_t>> edited;  // sorted by line
    uint32_t after(uint32_t line) const {
        uint32_t moved = line;
        for (const auto& [at, added] : edited)
            if (at < line)
                moved += added;
        return moved;
    }
    bool touched(uint32_t line) const {
        return std::any_of(edited.begin(), edited.end(), [&](const auto& e) { return e.first == line; });
    }
    // A line of the text after the edit that an edit made: the edited line it came from.
    std::optional<uint32_t> made(uint32_t line_after) const {
        for (const auto& [at, added] : edited) {
            uint32_t first = after(at);
            if (line_after >= first && line_after <= first + added)
                return first;
        }
        return std::nullopt;
    }
};

}  // namespace

std::string EditChecker::try_edit(const std::vector<FileEdit>& edits, const EditPromise& promise) {
    Impl& m = *impl_;
    std::map<IdKey, std::string> over;
    std::map<IdKey, LineMap> maps;
    for (const FileEdit& e : edits) {
        over[key_of(e.file)] = e.new_text;
        LineMap& map = maps[key_of(e.file)];
        map.edited = e.edited_lines;
        std::sort(map.edited.begin(), map.edited.end());
        if (!text(e.file, e.path))
            return "it cannot be read";
    }
    // Only the contexts whose compile reads an edited file can change; each is compiled
    // again with the new texts, side by side, then compared in order.
    std::set<IdKey> edited;
    for (const FileEdit& e : edits)
        edited.insert(key_of(e.file));
    std::vector<std::size_t> affected;
    for (std::size_t i = 0; i < m.contexts.size(); ++i)
        if (m.opens_any(m.contexts[i], m.result(i), edited))
            affected.push_back(i);
    std::vector<CompileResult> compiled = m.compile_all(affected, over);
    std::vector<std::pair<std::size_t, CompileResult>> after;
    for (std::size_t n = 0; n < affected.size(); ++n) {
        std::size_t i = affected[n];
        Context& c = m.contexts[i];
        const CompileResult& before = m.result(i);
        CompileResult& now = compiled[n];
        auto where_of = [&](const Diagnostic& d, bool is_after, bool* on_edited) {
            std::optional<FileId> id = m.identify(c, d.where.file);
            IdKey file = id ? key_of(*id) : IdKey{0, 0};
            uint32_t line = d.where.line;
            uint32_t column = d.where.column;
            *on_edited = false;
            auto map = id ? maps.find(file) : maps.end();
            if (map != maps.end()) {
                if (!is_after) {
                    *on_edited = map->second.touched(line);
                    line = map->second.after(line);
                } else if (std::optional<uint32_t> from = map->second.made(line)) {
                    *on_edited = true;
                    line = *from;
                }
                if (*on_edited)
                    column = 0;
            }
            std::string text = promise.loose ? std::string() : d.text;
            if (promise.loose)
                column = 0;
            return DiagnosticKey{static_cast<int>(d.kind), static_cast<int>(d.severity), file,
                                 id ? std::string() : d.where.file, line, column, text};
        };
        std::multiset<DiagnosticKey> kept;
        std::vector<DiagnosticKey> removed;
        bool removes_error = false;
        for (const Diagnostic& d : before.diagnostics) {
            bool on_edited = false;
            DiagnosticKey k = where_of(d, false, &on_edited);
            if (promise.removes && promise.removes(i, d)) {
                removed.push_back(k);
                removes_error = removes_error || d.severity == Severity::Error;
            } else {
                kept.insert(k);
            }
        }
        std::set<IdKey> opened_before;
        for (const SourceRecord& f : before.files)
            if (f.opened)
                if (std::optional<FileId> id = m.identify(c, f.path))
                    opened_before.insert(key_of(*id));
        bool reveals = promise.reveals || removes_error;
        std::string changed = "it would change the compile of " + c.script;
        for (const Diagnostic& d : now.diagnostics) {
            bool on_edited = false;
            DiagnosticKey k = where_of(d, true, &on_edited);
            auto at = kept.find(k);
            if (at != kept.end()) {
                kept.erase(at);
                continue;
            }
            for (const DiagnosticKey& r : removed)
                if (std::get<0>(r) == std::get<0>(k) && std::get<2>(r) == std::get<2>(k) &&
                    std::get<3>(r) == std::get<3>(k) && std::get<4>(r) == std::get<4>(k))
                    return changed + " (its diagnostic stays)";
            std::optional<FileId> id = m.identify(c, d.where.file);
            bool hidden_before = on_edited || (id && opened_before.count(key_of(*id)) == 0);
            if (!(reveals && hidden_before))
                return changed + " (" + location_text(d.where, "vorn") + ": " + d.text + ")";
        }
        if (!kept.empty())
            return changed + " (a diagnostic would go)";
        if (!reveals && (now.code != before.code || now.event_entries != before.event_entries ||
                         now.status != before.status))
            return changed + " (its compiled bytes)";
        if (reveals && now.status != StatusClean && now.status != StatusErrors && before.status == StatusClean)
            return changed + " (status " + std::to_string(now.status) + ")";
        after.emplace_back(i, std::move(now));
    }
    for (auto& [i, r] : after)
        m.contexts[i].result = std::move(r);
    for (const FileEdit& e : edits)
        m.texts[key_of(e.file)] = e.new_text;
    return {};
}

std::vector<EditChecker::Changed> EditChecker::changed() const {
    std::vector<Changed> out;
    for (const auto& [k, first] : impl_->first_read) {
        auto now = impl_->texts.find(k);
        if (now != impl_->texts.end() && now->second != first.second)
            out.push_back(Changed{FileId{k.first, k.second}, first.first, first.second, now->second});
    }
    return out;
}

namespace {

// The parts of one line as the compiler reads it, and the text of a range of it.
struct ReadLine {
    CleanedLine cleaned;
    LineParts parts;
    explicit ReadLine(const std::string& raw) : cleaned(clean_line(raw)), parts(parse_cleaned(cleaned.text)) {}
    std::string text(TextRange r) const { return cleaned.text.substr(r.begin, r.size()); }
};

// The name as the lists read the line "NAME 1 1" (commands) or "NAME 1" (events).
std::optional<std::string> list_reads(NameRole role, const std::string& name) {
    // A folder that holds nothing: both lists are served from memory.
    OverlayProvider files("/nonexistent/vorn-read-back");
    bool commands = role == NameRole::Command;
    files.serve(EventListFile, commands ? std::string("OnStart 1\n") : name + " 1\n");
    files.serve(CommandListFile, commands ? name + " 1 1\n" : std::string("Wait 1 1\n"));
    NullSink quiet;
    ListsResult read = load_lists(files, quiet);
    if (read.error)
        return std::nullopt;
    if (commands)
        return read.lists.commands.size() == 1 ? std::optional<std::string>(read.lists.commands[0].name) : std::nullopt;
    return read.lists.events.size() == 1 ? std::optional<std::string>(read.lists.events[0].name) : std::nullopt;
}

}  // namespace

bool name_reads_back(NameRole role, const std::string& name) {
    if (name.empty() || name.size() >= NameSize || name.find_first_of("\r\n\x1a") != std::string::npos)
        return false;
    if (role == NameRole::Value) {
        ReadLine defvar("defvar " + name + " 1\n");
        ReadLine defnum("defnum " + name + " 1\n");
        ReadLine used("    Wait(" + name + ", 1)\n");
        return defvar.parts.kind == LineKind::Defvar && defvar.text(defvar.parts.name) == name &&
               defvar.parts.ignored.empty() && defnum.parts.kind == LineKind::Defnum &&
               defnum.text(defnum.parts.name) == name && used.parts.kind == LineKind::Statement &&
               used.parts.argument_count == 2 && used.text(used.parts.arguments[0].value) == name &&
               used.parts.arguments[0].form == ArgumentForm::Name;
    }
    if (list_reads(role, name) != name)
        return false;
    if (role == NameRole::Command) {
        ReadLine statement("    " + name + "(1)\n");
        return statement.parts.kind == LineKind::Statement && statement.text(statement.parts.command) == name &&
               statement.parts.has_paren;
    }
    ReadLine label(name + ":\n");
    return label.parts.kind == LineKind::EventLabel && label.text(label.parts.name) == name &&
           label.parts.ignored.empty();
}

std::optional<FileEdit> edit_file(const FileId& file, const std::string& path, const std::string& text,
                                  const std::vector<Edit>& edits) {
    std::vector<Fix> one_each;
    std::vector<const Fix*> fixes;
    for (const Edit& e : edits) {
        Edit local = e;
        local.range.file = path;
        one_each.push_back(Fix{"", {local}, true});
    }
    for (const Fix& f : one_each)
        fixes.push_back(&f);
    FixedText fixed = apply_fixes(text, path, fixes);
    if (std::find(fixed.made.begin(), fixed.made.end(), false) != fixed.made.end())
        return std::nullopt;
    FileEdit out{file, path, std::move(fixed.text), {}};
    for (const Edit& e : edits)
        out.edited_lines.emplace_back(e.range.line,
                                      static_cast<uint32_t>(std::count(e.new_text.begin(), e.new_text.end(), '\n')));
    return out;
}

}  // namespace vorn
