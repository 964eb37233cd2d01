<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>LoggingViewController</name>
    <message>
        <source>Logger Output</source>
        <translation>Logging output</translation>
    </message>
    <message>
        <source>Some Warnings and Errors occured during the import</source>
        <translation>The following warnings and errors occurred during the import of your file</translation>
    </message>
    <message>
        <source>Detailed Description</source>
        <translation>Detailed warning or error message</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>SceneGraph</name>
    <message>
        <source>Scene</source>
        <translation>Scene</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Properties</translation>
    </message>
</context>
<context>
    <name>UpdateChecker</name>
    <message>
        <source>Feed download failed: %1.</source>
        <translation>The update feed could not be downloaded: %1.</translation>
    </message>
    <message>
        <source>Feed parsing failed: %1 %2.</source>
        <translation>The update feed is damaged (line %1: %2).</translation>
    </message>
    <message>
        <source>Feed error: &quot;release notes&quot; link is empty</source>
        <translation>The update feed names no release notes.</translation>
    </message>
    <message>
        <source>Feed error: invalid &quot;release notes&quot; link</source>
        <translation>The release notes link of the update feed is not valid.</translation>
    </message>
    <message>
        <source>Feed error: invalid &quot;enclosure&quot; with the download link</source>
        <translation>The download link of the update feed is not valid.</translation>
    </message>
</context>
</TS>
