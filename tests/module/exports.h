// What a module exports: its entry and, for the modules built for 64-bit
// array sizes, the host release and array interface they need
// (mexfilerequiredapiversion); nothing else, all bound to symbol version MEX.
// The exports are read from the module file's dynamic symbol table, so a
// symbol leaked under any name shows. Windows modules are checked by
// tests/platform/checkWindowsModule.cmake.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#if defined(__ELF__)
#include <dlfcn.h>
#include <elf.h>
#endif

#include "host/loader.h"

namespace exports {

#if defined(__ELF__)

// A 64-bit ELF file of this machine's byte order, read whole; every table
// is checked to lie inside it.
class ElfFile {
public:
    explicit ElfFile(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const Elf64_Ehdr *header = at<Elf64_Ehdr>(0, 1);
        valid_ = header && std::memcmp(header->e_ident, ELFMAG, SELFMAG) == 0 &&
                 header->e_ident[EI_CLASS] == ELFCLASS64 && header->e_shentsize == sizeof(Elf64_Shdr) &&
                 (sections_ = at<Elf64_Shdr>(header->e_shoff, header->e_shnum)) != nullptr;
        if (valid_) sectionCount_ = header->e_shnum;
    }
    bool valid() const { return valid_; }

    // The first section of `type`, or null.
    const Elf64_Shdr *section(uint32_t type) const {
        for (size_t i = 0; i < sectionCount_; ++i)
            if (sections_[i].sh_type == type) return &sections_[i];
        return nullptr;
    }
    const Elf64_Shdr *linked(const Elf64_Shdr &s) const {
        return s.sh_link < sectionCount_ ? &sections_[s.sh_link] : nullptr;
    }
    // `count` records of T at `offset`, or null when they do not fit.
    template <class T>
    const T *at(uint64_t offset, uint64_t count) const {
        if (offset > bytes_.size() || count > (bytes_.size() - offset) / sizeof(T)) return nullptr;
        return reinterpret_cast<const T *>(bytes_.data() + offset);
    }
    // The string at `offset` of a string table, or "" when outside it.
    std::string text(const Elf64_Shdr *strings, uint64_t offset) const {
        if (!strings || offset >= strings->sh_size) return "";
        const char *first = at<char>(strings->sh_offset, strings->sh_size);
        return first ? std::string(first + offset, strnlen(first + offset, strings->sh_size - offset)) : "";
    }

private:
    std::vector<char> bytes_;
    const Elf64_Shdr *sections_ = nullptr;
    size_t sectionCount_ = 0;
    bool valid_ = false;
};

// Version index -> name, from the version definitions (not the file's own).
inline std::map<uint16_t, std::string> versionNames(const ElfFile &elf) {
    std::map<uint16_t, std::string> names;
    const Elf64_Shdr *definitions = elf.section(SHT_GNU_verdef);
    if (!definitions) return names;
    uint64_t offset = definitions->sh_offset;
    for (uint64_t n = 0; n < definitions->sh_info; ++n) {
        const Elf64_Verdef *d = elf.at<Elf64_Verdef>(offset, 1);
        if (!d) break;
        const Elf64_Verdaux *aux = elf.at<Elf64_Verdaux>(offset + d->vd_aux, 1);
        if (aux && !(d->vd_flags & VER_FLG_BASE)) names[d->vd_ndx] = elf.text(elf.linked(*definitions), aux->vda_name);
        if (d->vd_next == 0) break;
        offset += d->vd_next;
    }
    return names;
}

// The symbols the module file exports (defined, global or weak, visible),
// each with its version ("" when it has none). GNU ld adds an absolute symbol
// named after each version it defines; that one is a version, not an export.
inline std::map<std::string, std::string> exportedSymbols(const std::string &path) {
    std::map<std::string, std::string> found;
    const ElfFile elf(path);
    const Elf64_Shdr *table = elf.valid() ? elf.section(SHT_DYNSYM) : nullptr;
    if (!table || table->sh_entsize != sizeof(Elf64_Sym)) {
        ADD_FAILURE() << path << ": no dynamic symbol table";
        return found;
    }
    const uint64_t count = table->sh_size / sizeof(Elf64_Sym);
    const Elf64_Sym *symbols = elf.at<Elf64_Sym>(table->sh_offset, count);
    const Elf64_Shdr *versionTable = elf.section(SHT_GNU_versym);
    const uint16_t *versions = versionTable ? elf.at<uint16_t>(versionTable->sh_offset, count) : nullptr;
    const std::map<uint16_t, std::string> names = versionNames(elf);
    for (uint64_t i = 1; symbols && i < count; ++i) {
        const Elf64_Sym &s = symbols[i];
        const unsigned binding = ELF64_ST_BIND(s.st_info), visibility = ELF64_ST_VISIBILITY(s.st_other);
        if (s.st_shndx == SHN_UNDEF || binding == STB_LOCAL || visibility == STV_HIDDEN ||
            visibility == STV_INTERNAL)
            continue;
        const std::string name = elf.text(elf.linked(*table), s.st_name);
        const auto version = versions ? names.find(versions[i] & 0x7fff) : names.end();
        const std::string versionName = version != names.end() ? version->second : "";
        if (s.st_shndx == SHN_ABS && name == versionName) continue;
        found[name] = versionName;
    }
    return found;
}

// The file a loaded module came from.
inline std::string moduleFile(const host::Module &m) {
    Dl_info info{};
    void *entry = m.symbol("mexFunction");
    return entry && dladdr(entry, &info) != 0 && info.dli_fname ? info.dli_fname : "";
}

#endif  // __ELF__

// Exactly mexFunction (and, with `apiVersion`, mexfilerequiredapiversion),
// and the record's values.
inline void expectEntryOnly(const host::Module &m, bool apiVersion) {
#if defined(__ELF__)
    const std::string path = moduleFile(m);
    ASSERT_FALSE(path.empty()) << "mexFunction is not exported";
    std::map<std::string, std::string> expected{{"mexFunction", "MEX"}};
    if (apiVersion) expected["mexfilerequiredapiversion"] = "MEX";
    EXPECT_EQ(exportedSymbols(path), expected) << path;
#else
    GTEST_SKIP() << "the exports are read from ELF modules only";
#endif
    if (!apiVersion) return;
    auto version = reinterpret_cast<void (*)(uint32_t *, uint32_t *)>(m.symbol("mexfilerequiredapiversion"));
    ASSERT_NE(version, nullptr);
    uint32_t release = 0, arrays = 0;
    version(&release, &arrays);
    EXPECT_EQ(release, 0x0002018Bu);
    EXPECT_EQ(arrays, 0x07300000u);
}

}  // namespace exports
