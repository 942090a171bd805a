// What the tools that check one script ask of its project: the file that defines a name the
// script does not know, and (vorn-check) the scripts that include a shared file. The project
// is loaded only once a script needs it, at most once per folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <vorn/name_contexts.h>
#include <vorn/project.h>

// The largest script for which a tool loads its project to explain it (to name its includers
// or the file that defines a name it does not know): loading compiles the script again.
constexpr std::uintmax_t MaxProjectLookupSize = std::uintmax_t{256} << 10;

// A project folder's project, loaded for the scripts checked alone in it (once for them all),
// and what its compiles define.
struct LoadedProject {
    std::unique_ptr<vorn::Project> project;
    std::optional<vorn::DefinedElsewhere> names;
};

// The project of a script checked or listed alone, loaded when first asked for (only a script
// with errors asks), and only for a script of a folder that holds both lists and no larger
// than MaxProjectLookupSize: finding what the project knows compiles the project, and a check
// stays within the memory of a few lines.
class ProjectLookup {
public:
    // script: the script's path from folder; empty for one read from standard input, which
    // has no place in a project.
    ProjectLookup(std::map<std::string, LoadedProject>& loaded, std::string folder, std::string script)
        : loaded_(loaded), folder_(std::move(folder)), script_(std::move(script)) {}

    // Nothing when the script cannot have one.
    vorn::Project* project() {
        if (tried_)
            return found_ ? found_->project.get() : nullptr;
        tried_ = true;
        if (script_.empty())
            return nullptr;
        std::error_code error;
        std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(folder_) / script_, error);
        if (error || size > MaxProjectLookupSize)
            return nullptr;
        auto [entry, fresh] = loaded_.try_emplace(folder_);
        if (fresh && vorn::holds_lists(folder_)) {
            entry->second.project = std::make_unique<vorn::Project>(folder_);
            entry->second.project->limit_diagnostics(0);
            entry->second.project->load();
        }
        found_ = &entry->second;
        return found_->project.get();
    }

    // Adds to an unknown-argument error of the script's compile, whose name only a file the
    // script does not include defines, the note and the fix that say so, as --project does.
    void explain(vorn::Diagnostic& d) {
        if (d.kind != vorn::DiagnosticKind::UnknownArgument || !d.notes.empty() || !project())
            return;
        vorn::Project& project = *found_->project;
        if (!found_->names) {
            std::vector<vorn::TopCompile> compiles;
            for (const std::string& top : project.top_scripts())
                compiles.push_back(vorn::TopCompile{top, project.compile_of(top)});
            found_->names.emplace(compiles);
        }
        // A shared file checked alone has no compile of its own in the project: its includers
        // are named instead.
        std::string top = project.key(script_);
        if (project.is_top(top))
            found_->names->explain(d, top, project.key(d.where.file));
    }

private:
    std::map<std::string, LoadedProject>& loaded_;
    std::string folder_;
    std::string script_;
    bool tried_ = false;
    LoadedProject* found_ = nullptr;
};

// Hands each diagnostic of a compile on to a printer, explained first by the project.
class ExplainingObserver : public vorn::LineObserver {
public:
    ExplainingObserver(vorn::LineObserver& to, ProjectLookup& lookup) : to_(to), lookup_(lookup) {}
    void reached(const vorn::LineRecord& record, const unsigned char* code, const vorn::CompileResult& result) override {
        to_.reached(record, code, result);
    }
    void diagnosed(const vorn::Diagnostic& diagnostic) override {
        if (diagnostic.kind != vorn::DiagnosticKind::UnknownArgument || !diagnostic.notes.empty()) {
            to_.diagnosed(diagnostic);
            return;
        }
        vorn::Diagnostic explained = diagnostic;
        lookup_.explain(explained);
        to_.diagnosed(explained);
    }

private:
    vorn::LineObserver& to_;
    ProjectLookup& lookup_;
};

