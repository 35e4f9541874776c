// An in-memory file system behind FileOps, for testing the walkers without Windows:
// entries can be links or junctions, files can be held open or read-only, folders
// can refuse listing, and a hook can change the tree while a walk is under way.
//
// Two link behaviours: Windows (a link is opened as itself and carries the
// reparse-point bit) and Wine (a folder link is listed as one but opened through to
// its target, a file link is not even marked, and removing it removes the target).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/text.hpp"
#include "sys/fsops.hpp"

namespace tess::test {

class FakeFs {
public:
    enum class LinkStyle { Windows, Wine };

    explicit FakeFs(LinkStyle style = LinkStyle::Windows) : style_(style) {}

    // Creates the folder and its missing parents.
    void add_dir(const std::string& path, std::uint64_t write_time = 0,
                 std::uint32_t extra_attributes = 0) {
        Node& n = make(path, true);
        n.write_time = write_time;
        n.attributes = kAttrDirectory | extra_attributes;
    }
    void add_file(const std::string& path, std::uint64_t size, std::uint64_t write_time = 0,
                  std::uint32_t extra_attributes = 0) {
        Node& n = make(path, false);
        n.size = size;
        n.write_time = write_time;
        n.attributes = (extra_attributes ? extra_attributes : kAttrNormal) & ~kAttrDirectory;
    }
    // A folder link (symbolic link or junction) or a file link pointing at `target`.
    void add_link(const std::string& path, const std::string& target, bool folder = true) {
        Node& n = make(path, false);
        n.attributes = kAttrReparsePoint | (folder ? kAttrDirectory : 0);
        n.link_target = target;
    }
    // Replaces whatever is at `path` by a folder link to `target`.
    void replace_with_link(const std::string& path, const std::string& target) {
        remove_node(path);
        add_link(path, target, true);
    }
    // Held open by another program without delete sharing.
    void lock(const std::string& path) { at(path).locked = true; }
    // Listing refused (access denied).
    void deny_list(const std::string& path) { at(path).deny_list = true; }
    // Every open refused (access denied).
    void deny_open(const std::string& path) { at(path).deny_open = true; }
    void set_write_time(const std::string& path, std::uint64_t t) { at(path).write_time = t; }

    bool exists(const std::string& path) const {
        return const_cast<FakeFs*>(this)->find(path, false).node != nullptr;
    }
    std::vector<std::string> names(const std::string& folder) const {
        std::vector<std::string> out;
        auto r = const_cast<FakeFs*>(this)->find(folder, true);
        if (r.node)
            for (const auto& [k, child] : r.node->children)
                out.push_back(child->name);
        return out;
    }
    std::size_t removed_count() const { return removed_; }

    // Called with the requested path after every successful listing.
    std::function<void(const std::string& path)> on_list;

    FileOps ops() {
        FileOps o;
        o.open = [this](const std::string& path, OpenMode mode, bool want_final, OpenedItem& item,
                        std::uint32_t& error) -> FileOps::Handle {
            return open(path, mode, want_final, item, error);
        };
        o.list = [this](FileOps::Handle h, std::vector<DirEntry>& out, std::uint32_t& error) {
            return list(static_cast<Handle*>(h), out, error);
        };
        o.set_attributes = [](FileOps::Handle h, std::uint32_t attributes) -> std::uint32_t {
            auto* handle = static_cast<Handle*>(h);
            if (handle->mode != OpenMode::RemoveAndAttributes) return kErrAccessDenied;
            handle->node->attributes =
                (handle->node->attributes & (kAttrDirectory | kAttrReparsePoint)) |
                (attributes & ~kAttrNormal);
            return 0;
        };
        o.remove = [this](FileOps::Handle h) { return remove(static_cast<Handle*>(h)); };
        o.close = [](FileOps::Handle h) { delete static_cast<Handle*>(h); };
        o.error_text = [](std::uint32_t e) {
            return e == kErrAccessDenied ? std::string("Access denied")
                                         : "error " + std::to_string(e);
        };
        return o;
    }

private:
    struct Node {
        std::string name;
        std::uint32_t attributes = kAttrDirectory;
        std::uint64_t size = 0;
        std::uint64_t write_time = 0;
        std::string link_target;
        bool locked = false;
        bool deny_list = false;
        bool deny_open = false;
        std::map<std::string, std::shared_ptr<Node>> children;  // by lower-cased name
        Node* parent = nullptr;
        bool is_link() const { return !link_target.empty(); }
    };
    struct Found {
        Node* node = nullptr;
        std::string canonical;  // the real location, links resolved
    };
    struct Handle {
        std::shared_ptr<Node> keep;
        Node* node;
        OpenMode mode;
    };

    static std::vector<std::string> split(const std::string& path) {
        std::vector<std::string> parts;
        std::string cur;
        for (char c : path) {
            if (c == '\\' || c == '/') {
                if (!cur.empty()) parts.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!cur.empty()) parts.push_back(cur);
        return parts;
    }

    Node& drive(const std::string& letter) {
        auto& d = drives_[to_lower_ascii(letter)];
        if (!d) {
            d = std::make_shared<Node>();
            d->name = letter;
        }
        return *d;
    }

    Node& make(const std::string& path, bool folder) {
        auto parts = split(path);
        if (parts.empty()) throw std::logic_error("bad fake path " + path);
        Node* cur = &drive(parts[0]);
        for (std::size_t i = 1; i < parts.size(); ++i) {
            auto& slot = cur->children[to_lower_ascii(parts[i])];
            if (!slot) {
                slot = std::make_shared<Node>();
                slot->name = parts[i];
                slot->parent = cur;
                slot->attributes = (i + 1 < parts.size() || folder) ? kAttrDirectory : 0;
            }
            cur = slot.get();
        }
        return *cur;
    }

    Node& at(const std::string& path) {
        Found f = find(path, false);
        if (!f.node) throw std::logic_error("no fake item " + path);
        return *f.node;
    }

    void remove_node(const std::string& path) {
        Node& n = at(path);
        if (n.parent) n.parent->children.erase(to_lower_ascii(n.name));
    }

    // Resolves links in every component but the last (and the last too with
    // `follow_last`), as Windows does for a path.
    Found find(const std::string& path, bool follow_last, int depth = 0) {
        if (depth > 8) return {};
        auto parts = split(path);
        if (parts.empty()) return {};
        auto d = drives_.find(to_lower_ascii(parts[0]));
        if (d == drives_.end()) return {};
        Node* cur = d->second.get();
        std::string canonical = parts[0] + "\\";
        for (std::size_t i = 1; i < parts.size(); ++i) {
            if (!is_directory(cur->attributes)) return {};
            auto it = cur->children.find(to_lower_ascii(parts[i]));
            if (it == cur->children.end()) return {};
            Node* next = it->second.get();
            const bool last = i + 1 == parts.size();
            if (next->is_link() && (!last || follow_last)) {
                Found t = find(next->link_target, true, depth + 1);
                if (!t.node) return {};
                cur = t.node;
                canonical = t.canonical;
                continue;
            }
            cur = next;
            if (canonical.back() != '\\') canonical += '\\';
            canonical += next->name;
        }
        return {cur, canonical};
    }

    std::shared_ptr<Node> shared(Node* n) {
        if (!n->parent) {
            for (auto& [k, d] : drives_)
                if (d.get() == n) return d;
            return {};
        }
        return n->parent->children[to_lower_ascii(n->name)];
    }

    FileOps::Handle open(const std::string& path, OpenMode mode, bool want_final, OpenedItem& item,
                         std::uint32_t& error) {
        // Under Wine the reparse-point flag does not stop a link from being followed.
        Found f = find(path, style_ == LinkStyle::Wine);
        if (!f.node) {
            error = kErrFileNotFound;
            return nullptr;
        }
        if (f.node->deny_open) {
            error = kErrAccessDenied;
            return nullptr;
        }
        if (mode == OpenMode::List && !is_directory(f.node->attributes)) {
            error = 267;  // the directory name is invalid
            return nullptr;
        }
        if (mode == OpenMode::List && f.node->deny_list) {
            error = kErrAccessDenied;
            return nullptr;
        }
        if ((mode == OpenMode::Remove || mode == OpenMode::RemoveAndAttributes) && f.node->locked) {
            error = kErrSharingViolation;
            return nullptr;
        }
        item.attributes = f.node->attributes;
        if (style_ == LinkStyle::Wine) item.attributes &= ~kAttrReparsePoint;
        item.final_path = want_final ? "\\\\?\\" + f.canonical : std::string();
        error = 0;
        return new Handle{shared(f.node), f.node, mode};
    }

    bool list(Handle* h, std::vector<DirEntry>& out, std::uint32_t& error) {
        if (!h->node->parent && !is_directory(h->node->attributes)) {
            error = 267;
            return false;
        }
        for (const auto& [k, child] : h->node->children) {
            DirEntry e{child->name, child->attributes, child->size, child->write_time};
            if (child->is_link() && style_ == LinkStyle::Wine) {
                Found t = find(child->link_target, true);
                if (!t.node) continue;  // a dangling link is not listed
                if (!is_directory(t.node->attributes)) {
                    // A file link looks like the file it points at.
                    e.attributes = t.node->attributes;
                    e.size = t.node->size;
                    e.write_time = t.node->write_time;
                }
            }
            out.push_back(std::move(e));
        }
        if (on_list) {
            std::string requested;
            for (Node* n = h->node; n; n = n->parent)
                requested = n->name + (requested.empty() ? "" : "\\" + requested);
            on_list(requested);
        }
        return true;
    }

    std::uint32_t remove(Handle* h) {
        Node* n = h->node;
        if (h->mode != OpenMode::Remove && h->mode != OpenMode::RemoveAndAttributes)
            return kErrAccessDenied;
        if (!n->parent) return kErrAccessDenied;
        if (is_directory(n->attributes) && !n->is_link() && !n->children.empty())
            return kErrDirNotEmpty;
        if (!is_directory(n->attributes) && (n->attributes & kAttrReadOnly))
            return kErrAccessDenied;
        auto& siblings = n->parent->children;
        auto it = siblings.find(to_lower_ascii(n->name));
        if (it == siblings.end() || it->second.get() != n) return kErrFileNotFound;
        siblings.erase(it);
        ++removed_;
        return 0;
    }

    LinkStyle style_;
    std::map<std::string, std::shared_ptr<Node>> drives_;
    std::size_t removed_ = 0;
};

}  // namespace tess::test
