// layering_test.cpp: every #include of the product code against the
// layers that layers.txt draws, and no include cycle between folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = KASPO_SOURCE_DIR;

// Folder -> the folders its files may include besides its own.
using LAYERS = std::map<std::string, std::set<std::string>>;

struct INCLUDE {
  std::string file;    // as seen from the root, "app/base/database.cpp"
  std::string header;  // as resolved from the root, "records/dbhandle.h"
};

std::string Folder(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

LAYERS ReadLayers(const fs::path& path) {
  LAYERS layers;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::string::size_type colon = line.find(':');
    std::istringstream below(line.substr(colon + 1));
    std::set<std::string>& may = layers[line.substr(0, colon)];
    for (std::string folder; below >> folder;) may.insert(folder);
  }
  return layers;
}

// Each include resolves as the build finds it: from the root, from
// tests/ (the tests' own include folder), or beside the including file.
std::string Resolve(const std::string& file, const std::string& name) {
  for (const std::string& base : {std::string(), std::string("tests/"), Folder(file) + "/"}) {
    if (fs::exists(kRoot / (base + name))) return base + name;
  }
  return name;
}

std::vector<INCLUDE> IncludesBelow(const std::vector<std::string>& tops) {
  static const std::regex kInclude(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<INCLUDE> out;
  for (const std::string& top : tops) {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(kRoot / top)) {
      const std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string file = fs::relative(e.path(), kRoot).generic_string();
      std::ifstream in(e.path());
      std::smatch m;
      for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, m, kInclude)) out.push_back({file, Resolve(file, m[1])});
      }
    }
  }
  return out;
}

// What goes against the table: a file in a folder the table does not
// name, or an include of a folder its own may not include.
std::vector<std::string> Violations(const LAYERS& layers, const std::vector<INCLUDE>& includes) {
  std::vector<std::string> out;
  for (const INCLUDE& inc : includes) {
    const std::string from = Folder(inc.file);
    const std::string to = Folder(inc.header);
    const auto layer = layers.find(from);
    if (layer == layers.end()) {
      out.push_back(inc.file + ": folder " + from + " is not in layers.txt");
    } else if (to != from && layer->second.count(to) == 0) {
      out.push_back(inc.file + ": includes " + inc.header + " (" + from + " may not include " + to +
                    ")");
    }
  }
  return out;
}

// A cycle of folders, each including the next (the first again at the
// end); empty when there is none.
std::vector<std::string> FolderCycle(const LAYERS& edges) {
  std::map<std::string, int> state;  // 1: on the path, 2: done
  std::vector<std::string> path;
  std::vector<std::string> cycle;
  std::function<bool(const std::string&)> visit = [&](const std::string& folder) {
    state[folder] = 1;
    path.push_back(folder);
    const auto out = edges.find(folder);
    for (const std::string& next : out == edges.end() ? std::set<std::string>{} : out->second) {
      if (state[next] == 1) {
        cycle.assign(std::find(path.begin(), path.end(), next), path.end());
        cycle.push_back(next);
        return true;
      }
      if (state[next] == 0 && visit(next)) return true;
    }
    path.pop_back();
    state[folder] = 2;
    return false;
  };
  for (const auto& [folder, below] : edges) {
    if (state[folder] == 0 && visit(folder)) break;
  }
  return cycle;
}

LAYERS FolderGraph(const std::vector<INCLUDE>& includes) {
  LAYERS edges;
  for (const INCLUDE& inc : includes) {
    if (Folder(inc.file) != Folder(inc.header)) edges[Folder(inc.file)].insert(Folder(inc.header));
  }
  return edges;
}

std::vector<std::string> ProductTops(const LAYERS& layers) {
  std::set<std::string> tops;
  for (const auto& [folder, below] : layers) tops.insert(folder.substr(0, folder.find('/')));
  return {tops.begin(), tops.end()};
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(Layering, EveryIncludeOfTheProductFollowsTheTable) {
  const LAYERS layers = ReadLayers(kRoot / "layers.txt");
  ASSERT_GE(layers.size(), 11u) << "layers.txt names every layer";
  const std::vector<INCLUDE> includes = IncludesBelow(ProductTops(layers));
  EXPECT_GT(includes.size(), 500u);
  EXPECT_EQ(Lines(Violations(layers, includes)), "");
}

TEST(Layering, NoFoldersIncludeEachOtherAnywhere) {
  const LAYERS layers = ReadLayers(kRoot / "layers.txt");
  EXPECT_EQ(Lines(FolderCycle(layers)), "") << "the table itself";
  std::vector<std::string> tops = ProductTops(layers);
  tops.insert(tops.end(), {"tests", "bench", "fuzz"});
  EXPECT_EQ(Lines(FolderCycle(FolderGraph(IncludesBelow(tops)))), "");
}

// The reach-arounds the layers were rebuilt against, and includes they
// allow: the table must refuse the first and pass the second.
TEST(Layering, RefusesReachingAroundALayer) {
  const LAYERS layers = ReadLayers(kRoot / "layers.txt");
  struct Case {
    const char* file;
    const char* header;
    bool refused;
  };
  constexpr Case kCases[] = {
      {"app/base/database.cpp", "engine/start.h", true},
      {"app/items/item_commands.cpp", "engine/types/values.h", true},
      {"app/session/sql_command.cpp", "client/message.h", true},
      {"content/blobj_io.cpp", "client/dbclient.h", true},
      {"content/blobj_io.cpp", "app/base/console.h", true},
      {"client/dbclient.h", "engine/storage/rowpool.h", true},
      {"records/dbhandle.cpp", "engine/catalog/catalog.h", true},
      {"engine/storage/rowpool.cpp", "engine/statements/where.h", true},
      {"engine/storage/rowpool.cpp", "engine/catalog/catalog.h", true},
      {"engine/catalog/datadir.cpp", "engine/tables/table_file.h", true},
      {"engine/catalog/deffile.cpp", "engine/dispatch.h", true},
      {"engine/statements/select.cpp", "engine/stop.h", true},
      {"engine/types/values.cpp", "engine/storage/rowpool.h", true},
      {"engine/types/values.cpp", "compress/pelko.h", true},
      {"compress/pelko_write.cpp", "records/record.h", true},
      {"compress/pelko_read.cpp", "content/chunk_read.h", true},
      {"platform/files.cpp", "engine/types/wire.h", true},
      {"app/base/console.cpp", "app/container/app_state.h", true},
      {"app/container/table_file_write.cpp", "app/items/item_listing.h", true},
      {"app/items/item_export.cpp", "app/session/leftovers.h", true},
      {"app/base/database.cpp", "records/dbhandle.h", false},
      {"app/session/startup.cpp", "app/items/item_commands.h", false},
      {"app/items/item_commands.cpp", "app/container/table_file_io.h", false},
      {"content/chunk_write.cpp", "compress/pelko.h", false},
      {"records/record_io.cpp", "engine/types/values.h", false},
      {"client/dbclient.cpp", "engine/dispatch.h", false},
      {"engine/catalog/catalog.h", "engine/storage/rowpool.h", false},
      {"engine/dispatch.cpp", "engine/statements/select.h", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " -> " + c.header);
    EXPECT_TRUE(fs::exists(kRoot / c.file) && fs::exists(kRoot / c.header))
        << "a case of today's files";
    EXPECT_EQ(Violations(layers, {{c.file, c.header}}).size(), c.refused ? 1u : 0u);
  }
  const std::string cycle =
      Lines(FolderCycle({{"engine/catalog", {"engine/storage"}},
                         {"engine/storage", {"engine/types", "engine/catalog"}}}));
  EXPECT_EQ(cycle, "engine/catalog\nengine/storage\nengine/catalog\n");
}

}  // namespace
