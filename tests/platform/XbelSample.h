// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Kept out of the test's own file, whose raw strings moc cannot read.

namespace {
// Another program's list, with its own prefixes, a private flag and a group, as the
// desktop writes them.
const char* const Foreign = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bm="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <!-- written by someone else -->
  <bookmark href="file:///home/u/notes.txt" added="2024-01-02T03:04:05.000006Z" modified="2024-01-02T03:04:05.000006Z" visited="2024-01-02T03:04:05.000006Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bm:groups><bm:group>Editors &amp; friends</bm:group></bm:groups>
        <bm:applications>
          <bm:application name="Text Editor" exec="&apos;gedit %u&apos;" modified="2024-01-02T03:04:05.000006Z" count="3"/>
        </bm:applications>
        <bm:private/>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

} // namespace
