#include "a2l/project.h"

#include "a2l/block.h"
#include "a2l/truncate.h"

namespace vk::a2l {

namespace {

// The last top-level ASAP2_VERSION with two tokens after it counts; their
// kinds are not tested, a word counts with the value of its numeric prefix.
void readVersion(const Block& root, Project& project) {
    const std::vector<Token>& tokens = root.tokens;
    for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (tokens[i].is("ASAP2_VERSION")) {
            project.asap2Version = low16(tokens[i + 1].number);
            project.asap2Upgrade = low16(tokens[i + 2].number);
        }
    }
}

// Reads the objects of the first PROJECT's modules while the tree is built: each
// child of such a MODULE goes to its reader as soon as it is complete and is then
// dropped, so that the tree never holds all objects of a large file at once.
class ModuleReader final : public ChildSink {
public:
    bool claims(const Block& block, std::uint32_t depth) override {
        if (depth == 1) {
            // Only the first PROJECT at the top level is read.
            inFirstProject_ = block.name == "PROJECT" && !projectSeen_;
            projectSeen_ = projectSeen_ || block.name == "PROJECT";
            return false;
        }
        if (depth != 2 || !inFirstProject_ || block.name != "MODULE") return false;
        modules.emplace_back();
        return true;
    }

    void take(const Block& child) override { readModuleChild(child, warnings, modules.back()); }

    std::vector<Module> modules;  // one per MODULE of the first PROJECT, in text order
    std::vector<std::string> warnings;

private:
    bool projectSeen_ = false;
    bool inFirstProject_ = false;
};

}  // namespace

Result<Project> parse(std::string_view text) {
    Result<Project> project = parseUnindexed(text);
    if (project.ok()) {
        for (Module& module : project.value().modules) module.reindex();
    }
    return project;
}

Result<Project> parseUnindexed(std::string_view text) {
    ModuleReader reader;
    Result<Block> tree = parseTree(text, reader);
    if (!tree.ok()) return tree.error();
    const Block& root = tree.value();

    Project project;
    readVersion(root, project);
    const Block* projectBlock = root.child("PROJECT");
    if (projectBlock == nullptr) return makeError(ErrorCode::InvalidArgument, "A2L: no PROJECT block");
    if (!projectBlock->tokens.empty()) project.name = std::string(projectBlock->tokens[0].text);
    // The reader has a module for each MODULE child of this block, in the same order.
    std::size_t next = 0;
    for (const Block& child : projectBlock->children) {
        if (child.name != "MODULE" || next >= reader.modules.size()) continue;
        Module& module = reader.modules[next++];
        nameModule(child, module);
        project.modules.push_back(std::move(module));
    }
    project.warnings = std::move(reader.warnings);
    if (project.modules.empty()) return makeError(ErrorCode::InvalidArgument, "A2L: no MODULE block");
    return project;
}

}  // namespace vk::a2l
