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

}  // namespace

Result<Project> parse(std::string_view text) {
    Result<Block> tree = parseTree(text);
    if (!tree.ok()) return tree.error();
    const Block& root = tree.value();

    Project project;
    readVersion(root, project);
    const Block* projectBlock = root.child("PROJECT");
    if (projectBlock == nullptr) return makeError(ErrorCode::InvalidArgument, "A2L: no PROJECT block");
    if (!projectBlock->tokens.empty()) project.name = std::string(projectBlock->tokens[0].text);
    for (const Block& child : projectBlock->children) {
        if (child.name == "MODULE") project.modules.push_back(parseModule(child, project.warnings));
    }
    if (project.modules.empty()) return makeError(ErrorCode::InvalidArgument, "A2L: no MODULE block");
    return project;
}

}  // namespace vk::a2l
