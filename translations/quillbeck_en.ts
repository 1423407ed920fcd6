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
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>用户：%1</source>
        <translation>User: %1</translation>
    </message>
</context>
</TS>
