<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>TForm1</name>
    <message>
        <source>用户：</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>设置用户</source>
        <translation>Set user</translation>
    </message>
    <message>
        <source>默认用户</source>
        <translation>Default user</translation>
    </message>
    <message>
        <source>移动</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>文件重复：</source>
        <translation>Duplicates:</translation>
    </message>
    <message>
        <source>自动重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>自动替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>替换</source>
        <translation>Ask</translation>
    </message>
    <message>
        <source>文件夹分组：</source>
        <translation>Folder groups:</translation>
    </message>
    <message>
        <source>文件夹路径：</source>
        <translation>Folder path:</translation>
    </message>
    <message>
        <source>文件夹名字：</source>
        <translation>Folder name:</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>隐藏窗口</source>
        <translation>Hide window</translation>
    </message>
    <message>
        <source>显示窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>状态：无操作</source>
        <translation>Status: idle</translation>
    </message>
    <message>
        <source>历史记录…</source>
        <translation>History…</translation>
    </message>
    <message>
        <source>跟随模式</source>
        <translation>Follow the mode</translation>
    </message>
    <message>
        <source>本槽位：复制</source>
        <translation>This slot copies</translation>
    </message>
    <message>
        <source>本槽位：移动</source>
        <translation>This slot moves</translation>
    </message>
    <message>
        <source>有正在进行的复制或移动。要停止它并退出吗？</source>
        <translation>A copy or move is still running. Stop it and quit?</translation>
    </message>
    <message>
        <source>停止并退出</source>
        <translation>Stop and quit</translation>
    </message>
    <message>
        <source>状态栏：%1</source>
        <translation>Status line: %1</translation>
    </message>
    <message>
        <source>状态栏</source>
        <translation>Status line</translation>
    </message>
    <message>
        <source>槽位 %1 路径</source>
        <translation>Slot %1 path</translation>
    </message>
    <message>
        <source>槽位 %1 名称</source>
        <translation>Slot %1 name</translation>
    </message>
    <message>
        <source>第 %1 组</source>
        <translation>Group %1</translation>
    </message>
    <message>
        <source>%1，%2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>显示本组的槽位，右键重命名</source>
        <translation>Shows this group&apos;s slots; right-click to rename</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>继续运行</source>
        <translation>Keep Running</translation>
    </message>
    <message>
        <source>复制后校验</source>
        <translation>Verify After Copying</translation>
    </message>
</context>
<context>
    <name>TForm3</name>
    <message>
        <source>注册，登陆</source>
        <translation>Register, log in</translation>
    </message>
    <message>
        <source>账号列表</source>
        <translation>Account list</translation>
    </message>
    <message>
        <source>账号列表：</source>
        <translation>Accounts:</translation>
    </message>
    <message>
        <source>登陆</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>注册账号</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>账号：</source>
        <translation>ID:</translation>
    </message>
    <message>
        <source>确认：</source>
        <translation>Again:</translation>
    </message>
    <message>
        <source>注册</source>
        <translation>Register</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>账号，最长为10个字符！</source>
        <translation>Account names have at most 10 characters!</translation>
    </message>
    <message>
        <source>请选择账号！</source>
        <translation>Please choose an account!</translation>
    </message>
    <message>
        <source>账号，不能为空！</source>
        <translation>The account name cannot be empty!</translation>
    </message>
    <message>
        <source>账号含有非法字符！</source>
        <translation>The account name has characters not allowed!</translation>
    </message>
</context>
<context>
    <name>TForm4</name>
    <message>
        <source>快捷方式</source>
        <translation>Shortcuts</translation>
    </message>
    <message>
        <source>软件更新</source>
        <translation>Updates</translation>
    </message>
    <message>
        <source>作者主页</source>
        <translation>Home page</translation>
    </message>
    <message>
        <source>关闭窗口</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>     QuillbeckV9.6
功能，使用方法：（请看自带视频教程）
1.注意：软件界面隐藏在屏幕左侧，鼠标移动到屏幕左侧，软件
界面弹出！
2.文件夹，目录管理。点击“配置”单选框，在此状态下，拖放文件
或文件夹到“文件夹路径”下面的“文本框”，即可设置相应的文件夹
！左键单击相应路径，即可打开相应目录，可以快速切换到不同
的文件夹！一个账号，可以管理200个文件夹！多账号可以管理
无数文件夹！
3.文件（夹）快速“复制”或“移动”功能！“拖放文件或文件夹”到“指
定设置目录”，即可完成“复制”或“移动”文件或文件夹到指定目录！
Quillbeck — 2026</source>
        <translation>     QuillbeckV9.6
What it does, how to use it (see the video tutorial):
1. Note: the window hides beyond the left screen
edge; move the mouse there and it comes out!
2. Folders: check &quot;Set&quot;, then drop a file or folder
on a field under &quot;Folder path:&quot; to set its folder!
Click a path to open its folder and switch quickly
between folders! One account keeps 200 folders;
several accounts keep as many as you like!
3. Quick &quot;Copy&quot; or &quot;Move&quot;: drop files or folders on
a slot to copy or move them into its folder!
Quillbeck — 2026</translation>
    </message>
    <message>
        <source>已在桌面创建快捷方式。</source>
        <translation>Made a shortcut on the desktop.</translation>
    </message>
    <message>
        <source>桌面上已有快捷方式。</source>
        <translation>The desktop has a shortcut already.</translation>
    </message>
    <message>
        <source>没有桌面文件夹，未在桌面创建快捷方式。</source>
        <translation>There is no desktop folder: no shortcut on the desktop.</translation>
    </message>
    <message>
        <source>无法在桌面创建快捷方式。</source>
        <translation>Could not make a shortcut on the desktop.</translation>
    </message>
    <message>
        <source>已在应用程序菜单中创建快捷方式。</source>
        <translation>Made a shortcut in the application menu.</translation>
    </message>
    <message>
        <source>应用程序菜单中已有本程序。</source>
        <translation>The application menu lists the program already.</translation>
    </message>
    <message>
        <source>无法在应用程序菜单中创建快捷方式。</source>
        <translation>Could not make a shortcut in the application menu.</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>qb::Accounts</name>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
</context>
<context>
    <name>qb::Board</name>
    <message>
        <source>设置文件夹分组名</source>
        <translation>Name the folder group</translation>
    </message>
    <message>
        <source>账户名无效，已使用默认账户</source>
        <translation>Invalid account name: using the default account</translation>
    </message>
</context>
<context>
    <name>qb::Docking</name>
    <message>
        <source>状态：窗口无法移出屏幕边缘，不自动隐藏</source>
        <translation>Status: the window cannot leave the screen; not hiding</translation>
    </message>
    <message>
        <source>状态：无法检测屏幕左边缘，不自动隐藏</source>
        <translation>Status: the left screen edge cannot be detected; not hiding</translation>
    </message>
</context>
<context>
    <name>qb::DropController</name>
    <message>
        <source>状态：移动成功！</source>
        <translation>Status: moved!</translation>
    </message>
    <message>
        <source>状态：复制成功！</source>
        <translation>Status: copied!</translation>
    </message>
    <message>
        <source>状态：移动失败！</source>
        <translation>Status: move failed!</translation>
    </message>
    <message>
        <source>状态：复制失败！</source>
        <translation>Status: copy failed!</translation>
    </message>
    <message>
        <source>状态：操作已取消！</source>
        <translation>Status: cancelled!</translation>
    </message>
    <message>
        <source>状态：设置目录成功！</source>
        <translation>Status: folder set!</translation>
    </message>
    <message>
        <source>状态：目录不存在！</source>
        <translation>Status: no such folder!</translation>
    </message>
    <message>
        <source>权限</source>
        <translation>permissions</translation>
    </message>
    <message>
        <source>所有者</source>
        <translation>owners</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>modification times</translation>
    </message>
    <message>
        <source>扩展属性</source>
        <translation>extended attributes</translation>
    </message>
    <message>
        <source>硬链接</source>
        <translation>hard links</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>（目标位置无法保留%1，内容已完整）</source>
        <translation> (the destination could not keep %1; the contents are whole)</translation>
    </message>
    <message>
        <source>旧文件未能放入回收站</source>
        <translation> The old file could not go to the Trash.</translation>
    </message>
    <message>
        <source>状态：路径含无法保存的字符！</source>
        <translation>Status: the path has characters that cannot be saved!</translation>
    </message>
    <message>
        <source>状态：设置目录失败！</source>
        <translation>Status: folder not set!</translation>
    </message>
    <message>
        <source>状态：</source>
        <translation>Status: </translation>
    </message>
    <message>
        <source>文件夹 %1</source>
        <translation>Folder %1</translation>
    </message>
    <message>
        <source>状态：已移出队列，文件未动。</source>
        <translation>Status: removed from the queue; no file was touched.</translation>
    </message>
    <message>
        <source>（另有 %1 项等待）</source>
        <translation> (%1 more waiting)</translation>
    </message>
    <message>
        <source>状态：正在移动…</source>
        <translation>Status: moving…</translation>
    </message>
    <message>
        <source>状态：正在复制…</source>
        <translation>Status: copying…</translation>
    </message>
    <message>
        <source>（操作记录已损坏，已另存为“%1”并重新开始记录）</source>
        <translation> (the drop history was damaged: kept as “%1”, a new one started)</translation>
    </message>
    <message>
        <source>状态：操作记录已损坏，已另存为“%1”并重新开始记录。</source>
        <translation>Status: the drop history was damaged; it was kept as “%1” and a new one started.</translation>
    </message>
    <message>
        <source>（未记录：无法撤销）</source>
        <translation> (not recorded: cannot be undone)</translation>
    </message>
</context>
<context>
    <name>qb::DropNotice</name>
    <message>
        <source>%1 项</source>
        <translation>%1 items</translation>
    </message>
    <message>
        <source>移动完成</source>
        <translation>Move finished</translation>
    </message>
    <message>
        <source>复制完成</source>
        <translation>Copy finished</translation>
    </message>
    <message>
        <source>%1已移动到 %2</source>
        <translation>%1 moved to %2</translation>
    </message>
    <message>
        <source>%1已复制到 %2</source>
        <translation>%1 copied to %2</translation>
    </message>
    <message>
        <source>移动失败</source>
        <translation>Move failed</translation>
    </message>
    <message>
        <source>复制失败</source>
        <translation>Copy failed</translation>
    </message>
    <message>
        <source>%1未能移动到 %2</source>
        <translation>%1 could not be moved to %2</translation>
    </message>
    <message>
        <source>%1未能复制到 %2</source>
        <translation>%1 could not be copied to %2</translation>
    </message>
    <message>
        <source>另有%1已移动</source>
        <translation>Also moved: %1</translation>
    </message>
    <message>
        <source>另有%1已复制</source>
        <translation>Also copied: %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>%1未替换，已跳过</source>
        <translation>%1 not replaced, skipped</translation>
    </message>
    <message>
        <source>已跳过</source>
        <translation>Skipped</translation>
    </message>
    <message numerus="yes">
        <source>已校验：%n 个文件从磁盘读回，与源文件一致</source>
        <translation>
            <numerusform>Verified: %n file read back from the disk matches its source</numerusform>
            <numerusform>Verified: %n files read back from the disk match their sources</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>qb::DropQueue</name>
    <message>
        <source>移动</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>正在进行</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>已暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>等待中</source>
        <translation>Waiting</translation>
    </message>
    <message numerus="yes">
        <source>%1&#x3000;%2 %n 项，%3&#x3000;%4</source>
        <translation>
            <numerusform>%1: %2 %n item, %3 (%4)</numerusform>
            <numerusform>%1: %2 %n items, %3 (%4)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>qb::FindBox</name>
    <message>
        <source>查找文件夹：名称、路径或分组</source>
        <translation>Find a folder: name, path or group</translation>
    </message>
    <message>
        <source>关闭查找 (Esc)</source>
        <translation>Close the search (Esc)</translation>
    </message>
    <message>
        <source>共 %1 个文件夹</source>
        <translation>Folders in all groups: %1</translation>
    </message>
    <message>
        <source>没有匹配的文件夹</source>
        <translation>No matching folder</translation>
    </message>
    <message>
        <source>找到 %1 个</source>
        <translation>Found: %1</translation>
    </message>
</context>
<context>
    <name>qb::Folders</name>
    <message>
        <source>打开指定目录!</source>
        <translation>Opening the folder!</translation>
    </message>
    <message>
        <source>目录不存在!</source>
        <translation>No such folder!</translation>
    </message>
    <message>
        <source>目录打开失败!</source>
        <translation>The folder could not be opened!</translation>
    </message>
</context>
<context>
    <name>qb::GlobalShortcut</name>
    <message>
        <source>键盘上没有 %1 这个键</source>
        <translation>The keyboard has no key %1</translation>
    </message>
    <message>
        <source>快捷键 %1 已被其他程序占用</source>
        <translation>The shortcut %1 is taken by another program</translation>
    </message>
    <message>
        <source>桌面拒绝了全局快捷键</source>
        <translation>The desktop refused the global shortcut</translation>
    </message>
    <message>
        <source>显示主窗口</source>
        <translation>Show main window</translation>
    </message>
</context>
<context>
    <name>qb::HistoryWindow</name>
    <message>
        <source>未完成</source>
        <translation>Unfinished</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>撤销第 %1 次操作</source>
        <translation>Undo of operation %1</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>移动</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>，已撤销</source>
        <translation>, undone</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>链接</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>项数</source>
        <translation>Items</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>打开目标文件夹</source>
        <translation>Open Destination</translation>
    </message>
    <message>
        <source>显示源文件夹</source>
        <translation>Show Source Folder</translation>
    </message>
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <source>按名称或路径筛选</source>
        <translation>Filter by name or path</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>文件夹不存在：%1</source>
        <translation>The folder does not exist: %1</translation>
    </message>
    <message>
        <source>已跳过</source>
        <translation>Skipped</translation>
    </message>
    <message>
        <source>，已校验</source>
        <translation>, verified</translation>
    </message>
</context>
<context>
    <name>qb::HoverVerdicts</name>
    <message>
        <source>移动（同一磁盘，瞬间完成）</source>
        <translation>Move (same disk, instant)</translation>
    </message>
    <message>
        <source>移动到 %1：正在统计…</source>
        <translation>Move to %1: counting…</translation>
    </message>
    <message>
        <source>复制到 %1：正在统计…</source>
        <translation>Copy to %1: counting…</translation>
    </message>
    <message>
        <source>移动 %1 到 %2</source>
        <translation>Move %1 to %2</translation>
    </message>
    <message>
        <source>复制 %1 到 %2</source>
        <translation>Copy %1 to %2</translation>
    </message>
    <message>
        <source>无法放入：文件夹不存在</source>
        <translation>Cannot drop here: the folder does not exist</translation>
    </message>
    <message>
        <source>无法放入：文件夹所在的磁盘未连接</source>
        <translation>Cannot drop here: the folder&apos;s disk is not connected</translation>
    </message>
    <message>
        <source>无法放入：目标位置只读</source>
        <translation>Cannot drop here: the destination is read-only</translation>
    </message>
    <message>
        <source>无法放入：文件名过长，目标磁盘无法保存</source>
        <translation>Cannot drop here: a name is too long for the destination disk</translation>
    </message>
    <message>
        <source>无法放入：目标磁盘无法保存名称“%1”</source>
        <translation>Cannot drop here: the destination disk cannot hold the name “%1”</translation>
    </message>
    <message>
        <source>无法放入：目标磁盘不区分大小写，“%1”与另一名称冲突</source>
        <translation>Cannot drop here: the destination disk ignores letter case, and “%1” clashes with another name</translation>
    </message>
    <message>
        <source>无法放入：文件过大（%1），目标磁盘的文件系统无法保存</source>
        <translation>Cannot drop here: a file is too large (%1) for the destination disk&apos;s file system</translation>
    </message>
    <message>
        <source>无法放入：空间不足（需要 %1，可用 %2）</source>
        <translation>Cannot drop here: not enough free space (%1 needed, %2 free)</translation>
    </message>
    <message>
        <source>（本槽位设定）</source>
        <translation> (this slot&apos;s own action)</translation>
    </message>
</context>
<context>
    <name>qb::MenuFiles</name>
    <message>
        <source>发送到 Quillbeck</source>
        <translation>Send to Quillbeck</translation>
    </message>
</context>
<context>
    <name>qb::OperationDialogs</name>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 小时 %2 分</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1
（符号链接，指向“%2”）</source>
        <translation>%1
(symbolic link to “%2”)</translation>
    </message>
    <message>
        <source>目标文件夹中已有名为“%1”的文件。

是否用这个文件：
%2
大小：%3，修改时间：%4

替换现有的文件：
%5
大小：%6，修改时间：%7</source>
        <translation>The destination already has a file named “%1”.

Do you want to use this file:
%2
Size: %3, modified: %4

to replace the existing file:
%5
Size: %6, modified: %7</translation>
    </message>
    <message>
        <source>注意：回收站无法接收现有的文件，替换后它将被永久删除。</source>
        <translation>Note: the Trash cannot take the existing file, so replacing it deletes it for good.</translation>
    </message>
    <message>
        <source>替换文件</source>
        <translation>Replace File</translation>
    </message>
    <message>
        <source>目标文件夹中已有名为“%1”的文件夹。

是否把这个文件夹：
%2
修改时间：%3

合并到现有的文件夹：
%4
修改时间：%5

选“是”，其中的同名文件将逐个询问是否替换；选“全部是”，同名文件全部替换，不再询问。</source>
        <translation>The destination already has a folder named “%1”.

Do you want to merge this folder:
%2
Modified: %3

into the existing folder:
%4
Modified: %5

“Yes” asks about each file of the same name; “Yes to All” replaces them all without asking.</translation>
    </message>
    <message>
        <source>合并文件夹</source>
        <translation>Merge Folders</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>跳过这个文件继续，还是取消整个操作？</source>
        <translation>Skip this file and go on, or cancel the whole operation?</translation>
    </message>
    <message>
        <source>跳过</source>
        <translation>Skip</translation>
    </message>
    <message>
        <source>全部跳过</source>
        <translation>Skip All</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>全部是</source>
        <translation>Yes to All</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>全部否</source>
        <translation>No to All</translation>
    </message>
    <message>
        <source>正在复制“%1”</source>
        <translation>Copying “%1”</translation>
    </message>
    <message>
        <source>正在移动“%1”</source>
        <translation>Moving “%1”</translation>
    </message>
    <message>
        <source>正在复制…</source>
        <translation>Copying…</translation>
    </message>
    <message>
        <source>正在移动…</source>
        <translation>Moving…</translation>
    </message>
    <message>
        <source>正在统计…</source>
        <translation>Counting…</translation>
    </message>
    <message>
        <source>已完成 %1 / %2，%3 / %4 个文件</source>
        <translation>%1 of %2 done, %3 of %4 files</translation>
    </message>
    <message>
        <source>已完成 %1 个项目</source>
        <translation>%1 items done</translation>
    </message>
    <message>
        <source>速度：%1/秒</source>
        <translation>Speed: %1/s</translation>
    </message>
    <message>
        <source>剩余时间：约 %1</source>
        <translation>Time left: about %1</translation>
    </message>
    <message>
        <source>速度：正在计算…</source>
        <translation>Speed: calculating…</translation>
    </message>
    <message>
        <source>剩余时间：正在计算…</source>
        <translation>Time left: calculating…</translation>
    </message>
    <message>
        <source>正在取消…</source>
        <translation>Cancelling…</translation>
    </message>
    <message>
        <source>“%1”原来的位置已被另一项占用：
%2

它现在位于：
%3</source>
        <translation>The place “%1” came from is taken by another item:
%2

It is now at:
%3</translation>
    </message>
    <message>
        <source>改名放回</source>
        <translation>Put Back Renamed</translation>
    </message>
    <message>
        <source>替换（旧项放入回收站）</source>
        <translation>Replace (old item to Trash)</translation>
    </message>
    <message>
        <source>位置已被占用</source>
        <translation>Place Taken</translation>
    </message>
    <message>
        <source>改名放回：以新名字放回原文件夹，占用的一项保持不动。</source>
        <translation>Put Back Renamed: goes back into its folder under a new name; the item in its place stays.</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>任务“%1”：

%2</source>
        <translation>Task “%1”:

%2</translation>
    </message>
    <message>
        <source>任务队列：</source>
        <translation>Queue:</translation>
    </message>
    <message>
        <source>移出队列</source>
        <translation>Remove from Queue</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>已暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>任务：%1</source>
        <translation>Task: %1</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>保留两者</source>
        <translation>Keep Both</translation>
    </message>
    <message>
        <source>全部保留两者</source>
        <translation>Keep Both for All</translation>
    </message>
    <message>
        <source>正在校验：</source>
        <translation>Verifying: </translation>
    </message>
</context>
<context>
    <name>qb::OperationText</name>
    <message>
        <source>无法复制%1：它不是可以复制的项目。</source>
        <translation>Cannot copy %1: it is not an item that can be copied.</translation>
    </message>
    <message>
        <source>无法移动%1：它不是可以移动的项目。</source>
        <translation>Cannot move %1: it is not an item that can be moved.</translation>
    </message>
    <message>
        <source>不能把文件夹%1复制到它自身或它的子文件夹%2中。</source>
        <translation>Cannot copy the folder %1 into itself or into its subfolder %2.</translation>
    </message>
    <message>
        <source>不能把文件夹%1移动到它自身或它的子文件夹%2中。</source>
        <translation>Cannot move the folder %1 into itself or into its subfolder %2.</translation>
    </message>
    <message>
        <source>不能把%1复制到这里：目标中同名的文件夹%2包含它自身。</source>
        <translation>Cannot copy %1 here: the folder of the same name at the destination, %2, contains it.</translation>
    </message>
    <message>
        <source>不能把%1移动到这里：目标中同名的文件夹%2包含它自身。</source>
        <translation>Cannot move %1 here: the folder of the same name at the destination, %2, contains it.</translation>
    </message>
    <message>
        <source>无法将%1复制到%2：%3</source>
        <translation>Cannot copy %1 to %2: %3</translation>
    </message>
    <message>
        <source>无法将%1移动到%2：%3</source>
        <translation>Cannot move %1 to %2: %3</translation>
    </message>
    <message>
        <source>无法复制%1：不支持这种类型的文件。</source>
        <translation>Cannot copy %1: this type of file is not supported.</translation>
    </message>
    <message>
        <source>无法移动%1：不支持这种类型的文件。</source>
        <translation>Cannot move %1: this type of file is not supported.</translation>
    </message>
    <message>
        <source>无法复制%1：它在复制时被换成了别的文件。</source>
        <translation>Cannot copy %1: it was replaced by another file while being copied.</translation>
    </message>
    <message>
        <source>无法移动%1：它在移动时被换成了别的文件。</source>
        <translation>Cannot move %1: it was replaced by another file while being moved.</translation>
    </message>
    <message>
        <source>无法复制%1：%2</source>
        <translation>Cannot copy %1: %2</translation>
    </message>
    <message>
        <source>无法移动%1：%2</source>
        <translation>Cannot move %1: %2</translation>
    </message>
    <message>
        <source>目标%1不是可用的文件夹：%2</source>
        <translation>The destination %1 is not a usable folder: %2</translation>
    </message>
    <message>
        <source>找不到%1：%2</source>
        <translation>Cannot find %1: %2</translation>
    </message>
    <message>
        <source>不能用%1替换它自身：源和目标是同一个项目。</source>
        <translation>Cannot replace %1 with itself: the source and the destination are the same item.</translation>
    </message>
    <message>
        <source>不能用链接%1替换%2：链接指向的正是这个文件，替换会毁掉它。</source>
        <translation>Cannot replace %2 with the link %1: the link points to that very file, and replacing it would destroy it.</translation>
    </message>
    <message>
        <source>%1是一个文件，不能用同名文件夹%2替换它。</source>
        <translation>%1 is a file; it cannot be replaced by the folder of the same name %2.</translation>
    </message>
    <message>
        <source>%1是一个文件夹，不能用同名文件%2替换它。</source>
        <translation>%1 is a folder; it cannot be replaced by the file of the same name %2.</translation>
    </message>
    <message>
        <source>无法读取文件夹%1：%2</source>
        <translation>Cannot read the folder %1: %2</translation>
    </message>
    <message>
        <source>无法创建文件夹%1：%2</source>
        <translation>Cannot create the folder %1: %2</translation>
    </message>
    <message>
        <source>无法打开文件夹%1：%2</source>
        <translation>Cannot open the folder %1: %2</translation>
    </message>
    <message>
        <source>源文件在移动时被修改，已保留</source>
        <translation>The source file changed while it was moved; it was kept</translation>
    </message>
    <message>
        <source>没有替换%1：回收站无法接收它（%2），它留在原处。</source>
        <translation>%1 was not replaced: the Trash could not take it (%2), so it stays where it was.</translation>
    </message>
    <message>
        <source>无法删除%1：%2</source>
        <translation>Cannot delete %1: %2</translation>
    </message>
    <message>
        <source>无法删除文件夹%1：%2</source>
        <translation>Cannot delete the folder %1: %2</translation>
    </message>
    <message>
        <source>校验失败：从磁盘读回的%1与源文件%2不一致，已删除这份副本。</source>
        <translation>Verification failed: %1, read back from the disk, differs from the source %2. The copy was removed.</translation>
    </message>
    <message>
        <source>校验失败：从磁盘读回的%1与源文件%2不一致，已删除这份副本，源文件保留。</source>
        <translation>Verification failed: %1, read back from the disk, differs from the source %2. The copy was removed; the source was kept.</translation>
    </message>
</context>
<context>
    <name>qb::SendService</name>
    <message>
        <source>槽位 %1:%2 没有设置目录</source>
        <translation>Slot %1:%2 has no folder set</translation>
    </message>
    <message>
        <source>没有名为“%1”的槽位</source>
        <translation>No slot is named “%1”</translation>
    </message>
</context>
<context>
    <name>qb::ShowShortcut</name>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>状态：%1</source>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>此桌面不向程序提供全局快捷键。
请在桌面的键盘快捷键设置中为命令“quillbeck show”设一个按键。</source>
        <translation>This desktop offers programs no global shortcuts.
In the desktop&apos;s keyboard shortcut settings, give the command &quot;quillbeck show&quot; a key.</translation>
    </message>
    <message>
        <source>显示主窗口的全局快捷键：</source>
        <translation>Global shortcut that shows the main window:</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>状态：全局快捷键：%1</source>
        <translation>Status: global shortcut: %1</translation>
    </message>
</context>
<context>
    <name>qb::SpringList</name>
    <message>
        <source>筛选</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>正在读取…</source>
        <translation>Reading…</translation>
    </message>
    <message>
        <source>没有子文件夹</source>
        <translation>No subfolders</translation>
    </message>
    <message>
        <source>另有 %1 个，请用筛选查找</source>
        <translation>%1 more: use the filter</translation>
    </message>
    <message>
        <source>没有匹配的文件夹</source>
        <translation>No matching folder</translation>
    </message>
</context>
<context>
    <name>qb::Startup</name>
    <message>
        <source>程序已运行</source>
        <translation>The program is already running</translation>
    </message>
</context>
<context>
    <name>qb::Tray</name>
    <message>
        <source>显示主窗口</source>
        <translation>Show main window</translation>
    </message>
    <message>
        <source>隐藏主窗口</source>
        <translation>Hide main window</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>登录时启动</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>在文件管理器中显示“发送到”菜单</source>
        <translation>Show “Send to” menus in file managers</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>用户：%1</source>
        <translation>User: %1</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>历史记录…</source>
        <translation>History…</translation>
    </message>
    <message>
        <source>全局快捷键…</source>
        <translation>Global shortcut…</translation>
    </message>
</context>
<context>
    <name>qb::UndoController</name>
    <message numerus="yes">
        <source>撤销：撤销操作（%n 项）</source>
        <translation>
            <numerusform>Undo: the undo (%n item)</numerusform>
            <numerusform>Undo: the undo (%n items)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>撤销：%n 项已移动到 %1</source>
        <translation>
            <numerusform>Undo: %n item moved to %1</numerusform>
            <numerusform>Undo: %n items moved to %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>撤销：%n 项已复制到 %1</source>
        <translation>
            <numerusform>Undo: %n item copied to %1</numerusform>
            <numerusform>Undo: %n items copied to %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>已撤销 %n 项。</source>
        <translation>
            <numerusform>Undid %n item.</numerusform>
            <numerusform>Undid %n items.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>已将 %n 项移动到“%1”（%2）。</source>
        <translation>
            <numerusform>Moved %n item to “%1” (%2).</numerusform>
            <numerusform>Moved %n items to “%1” (%2).</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>已将 %n 项复制到“%1”（%2）。</source>
        <translation>
            <numerusform>Copied %n item to “%1” (%2).</numerusform>
            <numerusform>Copied %n items to “%1” (%2).</numerusform>
        </translation>
    </message>
    <message>
        <source>按 Ctrl+Z 可撤销。</source>
        <translation> Ctrl+Z undoes it.</translation>
    </message>
    <message>
        <source>撤销上一次撤销：</source>
        <translation>Undo the last undo:</translation>
    </message>
    <message numerus="yes">
        <source>撤销这次移动（%n 项移到了 %1）：</source>
        <translation>
            <numerusform>Undo this move (%n item moved to %1):</numerusform>
            <numerusform>Undo this move (%n items moved to %1):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>撤销这次复制（%n 项复制到了 %1）：</source>
        <translation>
            <numerusform>Undo this copy (%n item copied to %1):</numerusform>
            <numerusform>Undo this copy (%n items copied to %1):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项将移回原来的位置</source>
        <translation>
            <numerusform>%n item goes back where it was</numerusform>
            <numerusform>%n items go back where they were</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项复制出的副本将放入回收站</source>
        <translation>
            <numerusform>%n copy goes to the Trash</numerusform>
            <numerusform>%n copies go to the Trash</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项被替换的文件将从回收站放回原处</source>
        <translation>
            <numerusform>%n replaced item comes back from the Trash</numerusform>
            <numerusform>%n replaced items come back from the Trash</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项此后已被更改、移走或删除，将保持不动：</source>
        <translation>
            <numerusform>%n item was changed, moved or deleted since and stays as it is:</numerusform>
            <numerusform>%n items were changed, moved or deleted since and stay as they are:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 个原来的位置已被占用，届时将询问如何处理：</source>
        <translation>
            <numerusform>%n old place is taken now; you will be asked what to do:</numerusform>
            <numerusform>%n old places are taken now; you will be asked what to do:</numerusform>
        </translation>
    </message>
    <message>
        <source>是否撤销？</source>
        <translation>Undo it?</translation>
    </message>
    <message>
        <source>这次操作已经撤销过了。</source>
        <translation>This operation has been undone already.</translation>
    </message>
    <message numerus="yes">
        <source>之后的 %n 次操作用到了这次操作的文件，请先撤销它们。</source>
        <translation>
            <numerusform>%n later operation used the files of this one; undo it first.</numerusform>
            <numerusform>%n later operations used the files of this one; undo them first.</numerusform>
        </translation>
    </message>
    <message>
        <source>这次操作没有可撤销的项目。</source>
        <translation>This operation has nothing that can be undone.</translation>
    </message>
    <message numerus="yes">
        <source>没有可撤销的项目：%n 项此后已被更改、移走或删除，保持不动：</source>
        <translation>
            <numerusform>Nothing can be undone: %n item was changed, moved or deleted since and stays as it is:</numerusform>
            <numerusform>Nothing can be undone: %n items were changed, moved or deleted since and stay as they are:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项已移回原处</source>
        <translation>
            <numerusform>%n item moved back</numerusform>
            <numerusform>%n items moved back</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项副本已放入回收站</source>
        <translation>
            <numerusform>%n copy put in the Trash</numerusform>
            <numerusform>%n copies put in the Trash</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项被替换的文件已从回收站恢复</source>
        <translation>
            <numerusform>%n replaced item restored from the Trash</numerusform>
            <numerusform>%n replaced items restored from the Trash</numerusform>
        </translation>
    </message>
    <message>
        <source>撤销已取消。</source>
        <translation>The undo was cancelled.</translation>
    </message>
    <message>
        <source>没有撤销任何项目。</source>
        <translation>Nothing was undone.</translation>
    </message>
    <message>
        <source>撤销结果：</source>
        <translation>Undone: </translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>。</source>
        <translation>.</translation>
    </message>
    <message numerus="yes">
        <source>%n 项保持不动（此后已被更改、移走或删除，或已跳过）：</source>
        <translation>
            <numerusform>%n item was left alone (changed, moved or deleted since, or skipped):</numerusform>
            <numerusform>%n items were left alone (changed, moved or deleted since, or skipped):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项未能撤销（详见日志）：</source>
        <translation>
            <numerusform>%n item could not be undone (see the log):</numerusform>
            <numerusform>%n items could not be undone (see the log):</numerusform>
        </translation>
    </message>
    <message>
        <source>状态：请等当前操作结束后再撤销！</source>
        <translation>Status: undo once the running operation ends!</translation>
    </message>
    <message>
        <source>状态：没有可撤销的操作！</source>
        <translation>Status: nothing to undo!</translation>
    </message>
    <message>
        <source>状态：撤销成功！</source>
        <translation>Status: undone!</translation>
    </message>
    <message>
        <source>状态：部分撤销！</source>
        <translation>Status: partly undone!</translation>
    </message>
    <message>
        <source>状态：撤销失败！</source>
        <translation>Status: undo failed!</translation>
    </message>
    <message>
        <source>状态：操作已取消！</source>
        <translation>Status: cancelled!</translation>
    </message>
    <message>
        <source>状态：最近一次操作未记录，无法撤销！</source>
        <translation>Status: the last drop was not recorded, so it cannot be undone!</translation>
    </message>
    <message numerus="yes">
        <source>%n 项的源磁盘未连接，保持不动（连接后可再次撤销）：</source>
        <translation>
            <numerusform>%n item stays where it is: its source disk is not connected (undo again once it is):</numerusform>
            <numerusform>%n items stay where they are: their source disk is not connected (undo again once it is):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项原来所在的文件夹其他用户也能更改，保持不动：</source>
        <translation>
            <numerusform>%n item stays where it is: other users can change the folder it came from:</numerusform>
            <numerusform>%n items stay where they are: other users can change the folders they came from:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项被替换的文件在回收站中已不是当初放入的那个（或回收站不属于你），保持不动：</source>
        <translation>
            <numerusform>%n replaced file stays in the Trash: it is no longer the one put there (or the Trash is not yours):</numerusform>
            <numerusform>%n replaced files stay in the Trash: they are no longer the ones put there (or the Trash is not yours):</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项由旧版本记录，无法核对此后是否有改动，保持不动：</source>
        <translation>
            <numerusform>%n item stays where it is: an older version recorded it, so changes since cannot be checked:</numerusform>
            <numerusform>%n items stay where they are: an older version recorded them, so changes since cannot be checked:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项所在的位置只读或不可更改，保持不动：</source>
        <translation>
            <numerusform>%n item stays where it is: its place is read-only or cannot be changed:</numerusform>
            <numerusform>%n items stay where they are: their place is read-only or cannot be changed:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项原来所在的文件夹已被替换或不属于你，保持不动：</source>
        <translation>
            <numerusform>%n item stays where it is: the folder it came from was replaced or is not yours:</numerusform>
            <numerusform>%n items stay where they are: the folders they came from were replaced or are not yours:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项是复制出的文件夹中此后新增或更改的，已保留在原处：</source>
        <translation>
            <numerusform>%n item in the copied folders was added or changed since and was kept:</numerusform>
            <numerusform>%n items in the copied folders were added or changed since and were kept:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项是复制出的文件夹中此后新增或更改的，将保留在原处：</source>
        <translation>
            <numerusform>%n item in the copied folders was added or changed since and will be kept:</numerusform>
            <numerusform>%n items in the copied folders were added or changed since and will be kept:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 项已由之前未完成的撤销处理过。</source>
        <translation>
            <numerusform>%n item was already handled by an earlier undo that did not finish.</numerusform>
            <numerusform>%n items were already handled by an earlier undo that did not finish.</numerusform>
        </translation>
    </message>
    <message>
        <source>没有可撤销的项目。</source>
        <translation>Nothing can be undone.</translation>
    </message>
    <message>
        <source>这次操作没有全部撤销，剩下的部分之后仍可撤销。</source>
        <translation>Not everything was undone; the rest can still be undone later.</translation>
    </message>
</context>
</TS>
