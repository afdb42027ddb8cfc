-- The story database that ships beside the programs. The start-up check copies
-- it into the application folder when the user has none, and imports its Site
-- rows into a user database that lacks table Site. Texts are UTF-8.

BEGIN TRANSACTION;
Create  TABLE Site([SiteID] VARCHAR(50) PRIMARY KEY UNIQUE NOT NULL,[SiteName] VARCHAR(50) NOT NULL,[SiteURL] VARCHAR(400),[SiteSearchURL] VARCHAR(200),[SearchTypeStoryValue] varchar(200),[SearchTypeAuthorValue] varchar(200),[ArticleItemSection] VARCHAR(400),[ArticleName] VARCHAR(400),[ArticleID] VARCHAR(400),[AuthorName] VARCHAR(400),[LastArticleInfo] VARCHAR(400),[CodePage] VARCHAR(400),[ArticleURL] VARCHAR(400),[ArticleTitle] VARCHAR(400),[ArticleAuthor] VARCHAR(400),[ArticleClass] VARCHAR(400),[ArticleClassLib] VARCHAR(400),[ArticleKeywords] VARCHAR(400),[ArticleIntro] text,[ArticlePic] VARCHAR(400),[ArticleState] varchar(400),[ArticleLastInfo2] varchar(400),[ArticleVolumnURLFromHome] varchar(400),[ArticleVolumnURL] VARCHAR(400),[ArticleSubVolumnsName] VARCHAR(400),[ArticleChapterNameID] VARCHAR(400),[ArticleChapterName] VARCHAR(400),[ArticleChapterID] VARCHAR(400),[ArticleChapterURL] VARCHAR(400),[ArticleChapterContent] VARCHAR(400),[ArticleChapterContentFilter] VARCHAR(400));
Create  TABLE Article([SiteID] varchar(50) NOT NULL ,[ArticleID] varchar(50) NOT NULL ,[ArticleTitle] varchar(400),[ArticleAuthor] varchar(400),[ArticleIntro] text ,[ArticlePic] varchar(400),[LastArticleInfo] varchar(400),[ArticleClass] varchar(400),[ArticleKeywords] varchar(400),[ArticleClassID] integer,[FolderName] varchar(50),[IsConcern] integer,[ArticleState] integer,[UpdateTime] varchar(20),[HaveUpdate] Integer,[ArticleVolumnURLFromHome] varchar(400),[InLocalShelf] INTEGER DEFAULT 0,[InOnlineShelf] INTEGER DEFAULT 0, Primary Key(SiteID,ArticleID));
Create  TABLE BooKClass([ID] integer PRIMARY KEY AUTOINCREMENT,[Name] varchar(200) NOT NULL);
Create  TABLE Chapter([ID] integer ,[SiteID] varchar(50),[ArticleID] varchar(50),[SubVolumnsName] varchar(400),[ChapterName] varchar(400),[ChapterID] varchar(400),[ChapterContent] text,[ChapterContentPic] blob, Primary Key(SiteID,ArticleID,ChapterID));
Create  TABLE HTMLParam([ParamName] varchar(50),[ParamValue] varchar(50), Primary Key(ParamName));
Create  TABLE LastReadHistory([id] integer PRIMARY KEY AUTOINCREMENT ,[Author] varchar(50),[StoryName] varchar(400),[StoryID] varchar(400),[LastStoryInfo] varchar(400),[SiteName] varchar(400),[SiteID] varchar(400),[ReadTime] varchar(400),[ReadChapter] integer,[HScrollBarPos] integer,[VScrollBarPos] integer );

Insert Into BooKClass(id,name) values(null,'默认分类');

-- The site-database version that the update check compares with the one it is
-- offered; a decimal number.
INSERT INTO HTMLParam(ParamName,ParamValue) VALUES('Version','1');
COMMIT;
