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
        <translation>Failed to connect to update service. Please try again later.</translation>
    </message>
    <message>
        <source>Feed parsing failed: %1 %2.</source>
        <translation>Error in update file. Please try again later.</translation>
    </message>
    <message>
        <source>Feed error: &quot;release notes&quot; link is empty</source>
        <translation>Error in update file. Please try again later.</translation>
    </message>
    <message>
        <source>Feed error: invalid &quot;release notes&quot; link</source>
        <translation>Error in update file. Please try again later.</translation>
    </message>
    <message>
        <source>Feed error: invalid &quot;enclosure&quot; with the download link</source>
        <translation>Error in update file. Please try again later.</translation>
    </message>
</context>
<context>
    <name>UpdateWindow</name>
    <message>
        <source>Software Update</source>
        <translation>Velmora 3D Encoder Update</translation>
    </message>
    <message>
        <source>%1 %2 is now available - you have %3. Would you like to download it now?</source>
        <translation>%1 %2 is now available - you are currently running %3. Would you like to download it now?</translation>
    </message>
</context>
<context>
    <name>UpdateConfirmDialog</name>
    <message>
        <source>Software Update</source>
        <translation>Velmora 3D Encoder Update</translation>
    </message>
    <message>
        <source>The update file is located at:</source>
        <translation>The update is available at:</translation>
    </message>
    <message>
        <source>Download this update, close &quot;%1&quot;, install it, and then reopen &quot;%1&quot;.</source>
        <translation>Download the update, close &quot;%1&quot;, install it, and then reopen &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>When you click &quot;OK&quot;, this link will be opened in your browser.</source>
        <translation>Once you click &quot;OK&quot;, this link will be opened in your browser.</translation>
    </message>
</context>
</TS>
