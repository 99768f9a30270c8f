insert into t_bd_payment_info values ( 'LEP' , '0' , '零钱包支付' , 1 , 0 , null , '1' , '系统默认' ) 
GO
insert into t_bd_payment_info values ( 'LEV' , '0' , '零钱包存款' , 1 , 0 , null , '1' , '系统默认' ) 
GO
alter table t_sys_operator add group_id varchar(4)default('') null
GO
alter table t_sys_operator add oper_flag varchar(4)default('0') null
GO
alter table t_sys_operator add area_manager varchar(1)default('0') null
GO
alter table t_pc_branch_price add cost_price numeric(16,4) default(0) null
GO
alter table t_bd_branch_info add daysum_date datetime  null
GO
alter table t_bd_branch_info add daysum_pointer numeric(16,0) default(0) null
GO
insert into t_sys_menu values ( '6211' , '储值卡余额查询' , 'w_rm_vip_savingamt_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL ) 
GO
CREATE TABLE [dbo].[mess_t_send_log] (
	[send_time] [datetime] NOT NULL ,
	[computername] [varchar] (100) NOT NULL ,
	[mess_content] [varchar] (1000) NOT NULL ,
	[memo] [varchar] (500) NOT NULL 
) ON [PRIMARY]
GO
CREATE TABLE [dbo].[t_sys_qxpay] (
	[branch_no] [varchar] (6) NOT NULL ,
	[shop_no] [varchar] (50) NOT NULL ,
	[shop_key] [varchar] (50) NOT NULL ,
	[memo] [varchar] (50) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_sys_qxpay] WITH NOCHECK ADD CONSTRAINT [PK_t_sys_qxpay] PRIMARY KEY CLUSTERED ( [branch_no] ) ON [PRIMARY]
GO
CREATE TABLE [dbo].[t_rm_mobile_paylog] (
	[com_no] [numeric](16, 0) IDENTITY (1, 1) NOT NULL ,
	[pay_way] [varchar] (10) NULL ,
	[flow_no] [varchar] (50) NULL ,
	[oper_date] [datetime] NULL ,
	[m_flow_no] [varchar] (50) NULL ,
	[success] [varchar] (1) NULL ,
	[memo] [varchar] (255) NULL ,
	[com_flag] [varchar] (1) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_rm_mobile_paylog] WITH NOCHECK ADD PRIMARY KEY CLUSTERED ( [com_no] ) ON [PRIMARY]
GO
insert into t_sys_menu values ( '4120' , '移动支付设置' , 'w_sys_setup_pay' , 'OTHR' , 'R' , null , '110000' , '0' , '0' , '0' , '0' , '' ) 
GO
CREATE TABLE [dbo].[mess_t_vip_message_wx] (
	[flow_id] [numeric](18, 0) IDENTITY (1, 1) NOT NULL ,
	[mess_type] [varchar] (10) NOT NULL ,
	[send_flag] [char] (1) DEFAULT ('0') NOT NULL ,
	[oper_date] [datetime] DEFAULT (getdate()) NULL ,
	[branch_no] [varchar] (10) NOT NULL ,
	[card_id] [varchar] (20) NOT NULL ,
	[card_type] [char] (2) NULL ,
	[to_card_type] [char] (2) NULL ,
	[father_card] [varchar] (20) NULL ,
	[giv_acc_num] [numeric](16, 4) NULL ,
	[oper_type] [char] (1) NULL ,
	[change_amt] [numeric](16, 4) DEFAULT (0) NULL ,
	[savelist_amt] [numeric](16, 4) NULL ,
	[flow_no] [varchar] (20) NULL ,
	[item_no] [varchar] (20) NULL ,
	[acc_num] [numeric](16, 4) NULL ,
	[flow_amt] [numeric](16, 4) NULL ,
	[send_year] [varchar] (4) NULL ,
	[send_date] [varchar] (10) NULL ,
	[card_little] [varchar] (10) NULL ,
	[send_times] [numeric](9, 0) DEFAULT (0) NOT NULL ,
	[mess_flow_id] [numeric](18, 0) DEFAULT (0) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[mess_t_vip_message_wx] WITH NOCHECK ADD CONSTRAINT [PK_mess_t_vip_message_wx] PRIMARY KEY CLUSTERED ( [flow_id] ) ON [PRIMARY]
GO
CREATE TABLE [dbo].[mess_t_wx_flow] (
	[flow_id] [decimal](18, 0) IDENTITY (1, 1) NOT NULL ,
	[cust_no] [char] (20) NULL ,
	[group_no] [char] (4) NULL ,
	[openid] [varchar] (60) NULL ,
	[oper_id] [varchar] (6) NULL ,
	[oper_date] [datetime] NULL ,
	[send_date] [datetime] NULL ,
	[mess] [varchar] (600) NULL ,
	[region] [char] (1) NULL ,
	[mess_id] [decimal](18, 0) NULL ,
	[memo] [varchar] (100) NULL ,
	[cust_name] [varchar] (20) NULL ,
	[plan_id] [numeric](18, 0) NULL ,
	[inout_type] [char] (1) NULL ,
	[error] [varchar] (200) NULL ,
	[branch_no] [varchar] (100) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[mess_t_wx_flow] WITH NOCHECK ADD CONSTRAINT [PK_mess_t_wx_flow] PRIMARY KEY CLUSTERED ( [flow_id] ) ON [PRIMARY]
GO
CREATE TABLE [dbo].[mess_t_wx_send] (
	[flow_id] [decimal](18, 0) IDENTITY (1, 1) NOT NULL ,
	[wx_no] [varchar] (100) NULL ,
	[template_id] [varchar] (100) NULL ,
	[title] [varchar] (50) NULL ,
	[mess] [varchar] (200) NULL ,
	[oper_date] [datetime] NULL ,
	[status] [char] (1) NOT NULL ,
	[error] [varchar] (255) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[mess_t_wx_send] ADD CONSTRAINT [pk_mess_t_wx_send] PRIMARY KEY NONCLUSTERED ( [flow_id] ) ON [PRIMARY]
GO
alter table mess_t_vip_message add send_times numeric(9,0) null
GO
alter table t_rm_vip_info add openid varchar(60)default('') null
GO
CREATE TABLE [dbo].[t_rm_vip_msg] (
	[ID] [bigint] IDENTITY (1, 1) NOT NULL ,
	[card_id] [varchar] (20) NOT NULL ,
	[send_time] [datetime] NULL ,
	[msg_type] [int] NULL ,
	[msg_title] [varchar] (100) NULL ,
	[msg_sub_title] [varchar] (100) NULL ,
	[msg_content] [varchar] (1000) NULL ,
	[is_read] [int] DEFAULT (0) NULL ,
	[show_type] [int] NULL ,
	[read_time] [datetime] NULL ,
	[valid_days] [int] DEFAULT (30) NULL ,
	[is_webpage] [int] DEFAULT (0) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_rm_vip_msg] WITH NOCHECK ADD PRIMARY KEY CLUSTERED ( [ID] ) ON [PRIMARY]
GO
CREATE TABLE [dbo].[t_rm_vip_saveset] (
	[flow_id] [numeric](14, 0) IDENTITY (1, 1) NOT NULL ,
	[start_amt] [numeric](16, 4) NULL ,
	[end_amt] [numeric](16, 4) NULL ,
	[begin_date] [datetime] NOT NULL ,
	[end_date] [datetime] NOT NULL ,
	[send_amt] [numeric](16, 4) NULL ,
	[branch_no] [char] (6) NULL ,
	[set_type] [char] (1) DEFAULT ('0') NOT NULL ,
	[item_clsno] [varchar] (6) NULL ,
	[valid_day] [int] DEFAULT (0) NULL ,
	[item_no] [varchar] (20) NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_rm_vip_saveset] WITH NOCHECK ADD CONSTRAINT [PK_T_RM_VIP_SAVESET] PRIMARY KEY CLUSTERED ( [flow_id], [begin_date], [end_date] ) ON [PRIMARY]
GO
insert into t_sys_menu values ( '6212' , '储值充值方案' , 'w_vip_saving_favor' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , '0' , NULL ) 
GO
alter table t_rm_vip_savelist add resi_amt varchar(30) null
GO
update t_sys_system set sys_var_value ='20200117' where sys_var_id ='UPGRADE_DATE' 
GO
