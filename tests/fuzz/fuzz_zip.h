// Archives for the fuzz targets, built in memory: ZIP files of stored
// (uncompressed) members, mounted and unmounted through PhysFS. Mounting
// goes through a reader of our own (PhysFS's own memory mount keeps a few
// bytes per mount after the unmount, which the leak checker would report).
#pragma once

#include <physfs.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct FuzzMember {
    std::string path;
    const uint8_t *bytes;
    size_t size;
    // A member given already deflated: what it inflates to.
    bool deflated = false;
    uint32_t inflated_size = 0;
    uint32_t inflated_crc = 0;
    // A symbolic link (made on Unix) whose target is the member's contents.
    bool link = false;
};

inline uint32_t fuzz_crc32(const uint8_t *bytes, size_t size) {
    static uint32_t table[256];
    if (table[1] == 0) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

inline void fuzz_put16(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void fuzz_put32(std::vector<uint8_t> &out, uint32_t value) {
    fuzz_put16(out, value & 0xFFFF);
    fuzz_put16(out, value >> 16);
}

// A ZIP of the members, each stored as it is (or deflated, as given).
inline std::vector<uint8_t> fuzz_stored_zip(const std::vector<FuzzMember> &members) {
    std::vector<uint8_t> zip, directory;
    for (const FuzzMember &m : members) {
        const uint32_t crc = m.deflated ? m.inflated_crc : fuzz_crc32(m.bytes, m.size);
        const uint32_t inflated = m.deflated ? m.inflated_size : static_cast<uint32_t>(m.size);
        const uint32_t offset = static_cast<uint32_t>(zip.size());
        for (std::vector<uint8_t> *out : {&zip, &directory}) {
            const bool central = out == &directory;
            fuzz_put32(*out, central ? 0x02014B50u : 0x04034B50u);
            if (central) fuzz_put16(*out, m.link ? 0x0314 : 20);  // made by (Unix for a link)
            fuzz_put16(*out, 20);               // needed
            fuzz_put16(*out, 0);                // flags
            fuzz_put16(*out, m.deflated ? 8 : 0);  // deflated or stored
            fuzz_put16(*out, 0);                    // time
            fuzz_put16(*out, 0x21);                 // date: 1980-01-01
            fuzz_put32(*out, crc);
            fuzz_put32(*out, static_cast<uint32_t>(m.size));
            fuzz_put32(*out, inflated);
            fuzz_put16(*out, static_cast<uint32_t>(m.path.size()));
            fuzz_put16(*out, 0);  // extra
            if (central) {
                fuzz_put16(*out, 0);  // comment
                fuzz_put16(*out, 0);  // disk
                fuzz_put16(*out, 0);  // internal attributes
                fuzz_put32(*out, m.link ? 0120777u << 16 : 0);  // external attributes: the Unix mode
                fuzz_put32(*out, offset);
            }
            out->insert(out->end(), m.path.begin(), m.path.end());
        }
        zip.insert(zip.end(), m.bytes, m.bytes + m.size);
    }
    const uint32_t directory_offset = static_cast<uint32_t>(zip.size());
    zip.insert(zip.end(), directory.begin(), directory.end());
    fuzz_put32(zip, 0x06054B50u);
    fuzz_put16(zip, 0);
    fuzz_put16(zip, 0);
    fuzz_put16(zip, static_cast<uint32_t>(members.size()));
    fuzz_put16(zip, static_cast<uint32_t>(members.size()));
    fuzz_put32(zip, static_cast<uint32_t>(directory.size()));
    fuzz_put32(zip, directory_offset);
    fuzz_put16(zip, 0);
    return zip;
}

// A PhysFS reader over bytes that outlive the mount.
struct FuzzMemoryReader {
    const uint8_t *bytes;
    PHYSFS_uint64 size;
    PHYSFS_uint64 at;
};

inline PHYSFS_Io *fuzz_memory_io(const uint8_t *bytes, PHYSFS_uint64 size, PHYSFS_uint64 at);

inline PHYSFS_sint64 fuzz_io_read(PHYSFS_Io *io, void *buffer, PHYSFS_uint64 length) {
    FuzzMemoryReader *reader = static_cast<FuzzMemoryReader *>(io->opaque);
    const PHYSFS_uint64 left = reader->size - reader->at;
    if (length > left) length = left;
    if (length) std::memcpy(buffer, reader->bytes + reader->at, length);
    reader->at += length;
    return static_cast<PHYSFS_sint64>(length);
}

inline PHYSFS_sint64 fuzz_io_write(PHYSFS_Io *, const void *, PHYSFS_uint64) { return -1; }

inline int fuzz_io_seek(PHYSFS_Io *io, PHYSFS_uint64 offset) {
    FuzzMemoryReader *reader = static_cast<FuzzMemoryReader *>(io->opaque);
    if (offset > reader->size) return 0;
    reader->at = offset;
    return 1;
}

inline PHYSFS_sint64 fuzz_io_tell(PHYSFS_Io *io) {
    return static_cast<PHYSFS_sint64>(static_cast<FuzzMemoryReader *>(io->opaque)->at);
}

inline PHYSFS_sint64 fuzz_io_length(PHYSFS_Io *io) {
    return static_cast<PHYSFS_sint64>(static_cast<FuzzMemoryReader *>(io->opaque)->size);
}

inline PHYSFS_Io *fuzz_io_duplicate(PHYSFS_Io *io) {
    const FuzzMemoryReader *reader = static_cast<FuzzMemoryReader *>(io->opaque);
    return fuzz_memory_io(reader->bytes, reader->size, 0);
}

inline int fuzz_io_flush(PHYSFS_Io *) { return 1; }

inline void fuzz_io_destroy(PHYSFS_Io *io) {
    delete static_cast<FuzzMemoryReader *>(io->opaque);
    delete io;
}

inline PHYSFS_Io *fuzz_memory_io(const uint8_t *bytes, PHYSFS_uint64 size, PHYSFS_uint64 at) {
    PHYSFS_Io *io = new PHYSFS_Io{};
    io->version = 0;
    io->opaque = new FuzzMemoryReader{bytes, size, at};
    io->read = fuzz_io_read;
    io->write = fuzz_io_write;
    io->seek = fuzz_io_seek;
    io->tell = fuzz_io_tell;
    io->length = fuzz_io_length;
    io->duplicate = fuzz_io_duplicate;
    io->flush = fuzz_io_flush;
    io->destroy = fuzz_io_destroy;
    return io;
}

// Mounts the bytes (which must outlive the mount) as the archive `name`,
// appended to the search path. False when PhysFS cannot open them.
inline bool fuzz_mount(const uint8_t *bytes, size_t size, const char *name) {
    PHYSFS_Io *io = fuzz_memory_io(bytes, size, 0);
    if (PHYSFS_mountIo(io, name, nullptr, 1)) return true;
    io->destroy(io);
    return false;
}
