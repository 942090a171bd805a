// --fix over a project: every safe fix that holds in every compile reaching its file, checked
// in memory, each file's edits made on the text the compiles read.
#include <algorithm>
#include <filesystem>
#include <set>

#include <vorn/edit_check.h>

namespace vorn {

namespace {

// A fix as several compiles offer it: the file by identity, the edits without the name the
// file was reached by.
struct Candidate {
    FileId file;
    std::string path;  // absolute
    Location fixed;    // the place of the diagnostic it fixes
    Fix fix;
    std::set<std::size_t> offered_by;
};

using EditKey = std::tuple<uint32_t, uint32_t, uint32_t, std::string>;

std::vector<EditKey> edit_keys(const Fix& fix) {
    std::vector<EditKey> keys;
    for (const Edit& e : fix.edits)
        keys.emplace_back(e.range.line, e.range.column, e.range.end_column, e.new_text);
    return keys;
}

bool same_fix(const Fix& a, const Fix& b) { return a.description == b.description && edit_keys(a) == edit_keys(b); }

// Every safe fix of one file the contexts' compiles offer, each once, in the order found.
std::vector<Candidate> gather(EditChecker& checker) {
    std::vector<Candidate> found;
    for (std::size_t i = 0; i < checker.context_count(); ++i)
        for (const Diagnostic& d : checker.result(i).diagnostics)
            for (const Fix& fix : d.fixes) {
                if (!fix.safe || fix.edits.empty())
                    continue;
                const std::string& file = fix.edits[0].range.file;
                if (file.empty() || !std::all_of(fix.edits.begin(), fix.edits.end(),
                                                 [&](const Edit& e) { return e.range.file == file; }))
                    continue;
                std::optional<FileId> id = checker.identify(i, file);
                if (!id)
                    continue;
                auto at = std::find_if(found.begin(), found.end(), [&](const Candidate& c) {
                    return c.file == *id && same_fix(c.fix, fix);
                });
                if (at == found.end())
                    at = found.insert(found.end(), Candidate{*id, checker.absolute(i, file), d.where, fix, {}});
                at->offered_by.insert(i);
            }
    return found;
}

std::string names(const EditChecker& checker, const std::vector<std::size_t>& contexts) {
    std::string text = checker.context_script(contexts[0]);
    if (contexts.size() == 2)
        text += " and " + checker.context_script(contexts[1]);
    else if (contexts.size() > 2)
        text += " and " + std::to_string(contexts.size() - 1) + " other scripts";
    return text;
}

// Checks and, where it holds, keeps the fixes of one file; whether any was kept. The fixes of
// a file are tried together, then one by one, the first that holds kept (the others' places
// are then those of the old text: they are found again in the next pass).
bool fix_file(EditChecker& checker, const std::vector<const Candidate*>& fixes, std::vector<FixOutcome>& out,
              std::set<std::string>& history, std::set<std::tuple<std::string, uint32_t, std::string>>& refused) {
    const Candidate& first = *fixes[0];
    const std::string* text = checker.text(first.file, first.path);
    if (!text)
        return false;
    history.insert(*text);
    std::vector<std::size_t> reaching = checker.reaching(first.file);
    auto refuse = [&](const Candidate& c, const std::string& why) {
        if (refused.emplace(c.path, c.fix.edits[0].range.line, c.fix.description).second)
            out.push_back(FixOutcome{c.path, c.fixed, c.fix.description, false, why});
    };
    std::vector<const Candidate*> eligible;
    for (const Candidate* c : fixes) {
        std::vector<std::size_t> missing;
        for (std::size_t i : reaching)
            if (c->offered_by.count(i) == 0)
                missing.push_back(i);
        if (missing.empty())
            eligible.push_back(c);
        else
            refuse(*c, "the compile of " + names(checker, missing) + " does not need it");
    }
    auto attempt = [&](const std::vector<const Candidate*>& batch, std::string* why) {
        why->clear();
        std::vector<Edit> edits;
        for (const Candidate* c : batch)
            edits.insert(edits.end(), c->fix.edits.begin(), c->fix.edits.end());
        std::optional<FileEdit> edit = edit_file(first.file, first.path, *text, edits);
        if (!edit)
            return false;
        if (history.count(edit->new_text)) {
            *why = "it would undo an earlier fix";
            return false;
        }
        EditPromise promise;
        promise.removes = [&](std::size_t, const Diagnostic& d) {
            return std::any_of(d.fixes.begin(), d.fixes.end(), [&](const Fix& f) {
                return std::any_of(batch.begin(), batch.end(), [&](const Candidate* c) {
                    return same_fix(f, c->fix);
                });
            });
        };
        promise.reveals = std::any_of(edits.begin(), edits.end(), [](const Edit& e) {
            return e.new_text.find('\n') != std::string::npos;
        });
        std::string new_text = edit->new_text;
        *why = checker.try_edit({std::move(*edit)}, promise);
        if (!why->empty())
            return false;
        history.insert(new_text);
        for (const Candidate* c : batch)
            out.push_back(FixOutcome{c->path, c->fixed, c->fix.description, true, {}});
        return true;
    };
    if (eligible.empty())
        return false;
    std::string why;
    if (eligible.size() > 1 && attempt(eligible, &why))
        return true;
    for (const Candidate* c : eligible) {
        if (attempt({c}, &why))
            return true;
        if (!why.empty())
            refuse(*c, why);
    }
    return false;
}

}  // namespace

std::string check_fix(EditChecker& checker, const std::string& folder, const Fix& fix) {
    if (fix.edits.empty())
        return "it edits nothing";
    const std::string& file = fix.edits[0].range.file;
    if (!std::all_of(fix.edits.begin(), fix.edits.end(), [&](const Edit& e) { return e.range.file == file; }))
        return "it edits several files";
    std::optional<FileId> id = checker.identify_at(folder, file);
    if (!id)
        return "its file is not on disk";
    std::vector<std::size_t> missing;
    for (std::size_t i : checker.reaching(*id)) {
        const std::vector<Diagnostic>& found = checker.result(i).diagnostics;
        bool offers = std::any_of(found.begin(), found.end(), [&](const Diagnostic& d) {
            return std::any_of(d.fixes.begin(), d.fixes.end(), [&](const Fix& f) { return same_fix(f, fix); });
        });
        if (!offers)
            missing.push_back(i);
    }
    if (!missing.empty())
        return "the compile of " + names(checker, missing) + " does not need it";
    std::string path = std::filesystem::path(file).is_relative() ? (std::filesystem::path(folder) / file).string() : file;
    const std::string* text = checker.text(*id, path);
    std::optional<FileEdit> edit = text ? edit_file(*id, path, *text, fix.edits) : std::nullopt;
    if (!edit)
        return "it does not fit the file";
    EditPromise promise;
    promise.removes = [&](std::size_t, const Diagnostic& d) {
        return std::any_of(d.fixes.begin(), d.fixes.end(), [&](const Fix& f) { return same_fix(f, fix); });
    };
    promise.reveals = std::any_of(fix.edits.begin(), fix.edits.end(), [](const Edit& e) {
        return e.new_text.find('\n') != std::string::npos;
    });
    return checker.try_edit({std::move(*edit)}, promise);
}

std::vector<FixOutcome> fix_in_memory(EditChecker& checker, const std::function<void()>& more_contexts,
                                      int max_passes, std::size_t asked) {
    std::vector<FixOutcome> out;
    bool whole_project = false;
    std::map<std::pair<uint64_t, uint64_t>, std::set<std::string>> history;
    std::set<std::tuple<std::string, uint32_t, std::string>> refused;
    for (int pass = 0; pass < max_passes; ++pass) {
        auto asked_for = [&](std::vector<Candidate> all) {
            std::erase_if(all, [&](const Candidate& c) { return *c.offered_by.begin() >= asked; });
            return all;
        };
        std::vector<Candidate> found = asked_for(gather(checker));
        if (found.empty())
            break;
        if (!whole_project) {
            whole_project = true;
            if (more_contexts) {
                std::size_t had = checker.context_count();
                more_contexts();
                if (checker.context_count() != had)
                    found = asked_for(gather(checker));
            }
        }
        // The files in the order their first fix was found.
        std::vector<std::vector<const Candidate*>> files;
        for (const Candidate& c : found) {
            auto at = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f[0]->file == c.file; });
            if (at == files.end())
                files.push_back({&c});
            else
                at->push_back(&c);
        }
        bool any = false;
        for (const auto& fixes : files)
            any = fix_file(checker, fixes, out, history[{fixes[0]->file.device, fixes[0]->file.inode}], refused) || any;
        if (!any)
            break;
    }
    // A fix refused in one pass may hold in a later one, once what it depended on was fixed.
    std::vector<FixOutcome> kept;
    for (const FixOutcome& o : out)
        if (o.made || std::none_of(out.begin(), out.end(), [&](const FixOutcome& m) {
                return m.made && m.path == o.path && m.description == o.description;
            }))
            kept.push_back(o);
    return kept;
}

}  // namespace vorn
