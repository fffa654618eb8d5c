#include "swf/avm1.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>

namespace qm::swf {
namespace {

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

bool Contains(const Bytes& haystack, const std::string& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

Bytes SampleMovie() {
  ActionWriter a;
  a.SetVariable("mainver", "11").FsCommand("ready", "");
  return WriteMovie({}, {DoAction(a), {tags::kShowFrame, {}}});
}

Bytes Compress(const Bytes& fws) {
  uLongf size = compressBound(fws.size());
  Bytes out(8 + size);
  std::copy(fws.begin(), fws.begin() + 8, out.begin());
  out[0] = 'C';
  compress(out.data() + 8, &size, fws.data() + 8, fws.size() - 8);
  out.resize(8 + size);
  return out;
}

// Where the tags start: after the 8-byte header, the RECT and rate/count.
std::size_t TagsStart(const Bytes& swf) {
  return 8 + (5 + 4 * (swf[8] >> 3) + 7) / 8 + 4;
}

TEST(Avm1Writer, EncodesRecordsAsThePlayerReadsThem) {
  ActionWriter a;
  a.Push({std::string("ab"), std::int32_t{-2}, true, Null{}, Undefined{}});
  const Bytes expected = {0x96, 13, 0, 0, 'a', 'b', 0, 7, 0xfe, 0xff, 0xff, 0xff, 5, 1, 2, 3};
  EXPECT_EQ(a.bytes(), expected);

  ActionWriter body;
  body.Op(ActionWriter::kReturn);
  ActionWriter f;
  f.DefineFunction("", {"p"}, body);
  // name "", 1 parameter "p", body size 1; the body follows the record.
  const Bytes function = {0x9B, 7, 0, 0, 1, 0, 'p', 0, 1, 0, 0x3E};
  EXPECT_EQ(f.bytes(), function);
}

TEST(Avm1Writer, TagHeadersUseTheLongFormFrom63Bytes) {
  EXPECT_EQ(EncodeTag({tags::kShowFrame, {}}), (Bytes{0x40, 0x00}));
  const Bytes short_tag = EncodeTag({tags::kDoAction, Bytes(62, 0)});
  EXPECT_EQ(short_tag.size(), 64u);
  EXPECT_EQ(short_tag[0], (12 << 6 | 62) & 0xff);
  const Bytes long_tag = EncodeTag({tags::kDoAction, Bytes(63, 0)});
  ASSERT_EQ(long_tag.size(), 2u + 4u + 63u);
  EXPECT_EQ(long_tag[0] & 0x3f, 0x3f);
  EXPECT_EQ(Get32(long_tag, 2), 63u);
}

TEST(Avm1Writer, MovieHeaderCarriesVersionAndLength) {
  const Bytes movie = SampleMovie();
  EXPECT_EQ(std::string(movie.begin(), movie.begin() + 3), "FWS");
  EXPECT_EQ(Get32(movie, 4), movie.size());
  const auto info = ReadMovieInfo(movie);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->version, 8);
  EXPECT_FALSE(info->actionscript3);
  EXPECT_FALSE(info->compressed);
  // FileAttributes first, End last.
  EXPECT_EQ((movie[TagsStart(movie)] | movie[TagsStart(movie) + 1] << 8) >> 6,
            tags::kFileAttributes);
  EXPECT_EQ(movie[movie.size() - 2], 0);
  EXPECT_EQ(movie[movie.size() - 1], 0);
}

TEST(HostHooks, AreAddedAfterFileAttributesAndKeepTheMovie) {
  const Bytes movie = SampleMovie();
  const auto hooked = AddHostHooks(movie);
  ASSERT_TRUE(hooked);
  EXPECT_EQ(Get32(*hooked, 4), hooked->size());
  const std::size_t at = TagsStart(movie);
  // Everything up to and including FileAttributes (2 + 4 bytes) is unchanged ...
  EXPECT_TRUE(std::equal(movie.begin() + 8, movie.begin() + at + 6, hooked->begin() + 8));
  // ... then comes a DoAction registering the hooks ...
  EXPECT_EQ(((*hooked)[at + 6] | (*hooked)[at + 7] << 8) >> 6, tags::kDoAction);
  EXPECT_TRUE(Contains(*hooked, kGetVariableHook));
  EXPECT_TRUE(Contains(*hooked, kPlayHook));
  EXPECT_TRUE(Contains(*hooked, kStopHook));
  // ... and the movie's own tags, byte for byte.
  const std::size_t own = movie.size() - (at + 6);
  EXPECT_TRUE(std::equal(movie.end() - static_cast<std::ptrdiff_t>(own), movie.end(),
                         hooked->end() - static_cast<std::ptrdiff_t>(own)));
}

TEST(HostHooks, CompressedMoviesComeBackUncompressed) {
  const Bytes movie = SampleMovie();
  const auto from_plain = AddHostHooks(movie);
  const auto from_compressed = AddHostHooks(Compress(movie));
  ASSERT_TRUE(from_compressed);
  EXPECT_EQ(*from_compressed, *from_plain);
  EXPECT_TRUE(ReadMovieInfo(Compress(movie))->compressed);
}

TEST(HostHooks, LeaveActionScript3LzmaAndDamagedMoviesAlone) {
  Bytes as3 = SampleMovie();
  as3[TagsStart(as3) + 2] = 0x08;  // FileAttributes: ActionScript 3
  EXPECT_TRUE(ReadMovieInfo(as3)->actionscript3);
  EXPECT_FALSE(AddHostHooks(as3));

  Bytes lzma = SampleMovie();
  lzma[0] = 'Z';
  EXPECT_FALSE(AddHostHooks(lzma));

  EXPECT_FALSE(AddHostHooks(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}));
  Bytes bad_zlib = Compress(SampleMovie());
  std::fill(bad_zlib.begin() + 8, bad_zlib.end(), 0xAA);
  EXPECT_FALSE(AddHostHooks(bad_zlib));
}

TEST(HostHooks, TruncatedMoviesNeverReadPastTheEnd) {
  const Bytes movie = SampleMovie();
  const Bytes compressed = Compress(movie);
  for (std::size_t n = 0; n < movie.size(); ++n) {
    AddHostHooks(Bytes(movie.begin(), movie.begin() + static_cast<std::ptrdiff_t>(n)));
  }
  for (std::size_t n = 0; n < compressed.size(); ++n) {
    AddHostHooks(Bytes(compressed.begin(), compressed.begin() + static_cast<std::ptrdiff_t>(n)));
  }
  // Cut inside the tags, the hooks still go in front of what is there.
  EXPECT_TRUE(AddHostHooks(Bytes(movie.begin(), movie.end() - 4)));
}

TEST(HostHooks, HandleALongFormFileAttributesHeader) {
  Bytes movie = SampleMovie();
  const std::size_t at = TagsStart(movie);
  // Rewrite FileAttributes with the long header form (legal, if unusual).
  const Bytes long_form = {
      static_cast<std::uint8_t>(69 << 6 | 0x3f), static_cast<std::uint8_t>(69 >> 2), 4, 0, 0, 0};
  movie.erase(movie.begin() + static_cast<std::ptrdiff_t>(at),
              movie.begin() + static_cast<std::ptrdiff_t>(at + 2));
  movie.insert(movie.begin() + static_cast<std::ptrdiff_t>(at), long_form.begin(), long_form.end());
  const auto hooked = AddHostHooks(movie);
  ASSERT_TRUE(hooked);
  EXPECT_EQ(((*hooked)[at + 10] | (*hooked)[at + 11] << 8) >> 6, tags::kDoAction);
}

}  // namespace
}  // namespace qm::swf
